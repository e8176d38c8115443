#include "cg/unit.h"

#include <cctype>

namespace CG {

Function* Pool::find(const std::string& name) {
    auto it = byName_.find(name);
    return it == byName_.end() ? nullptr : it->second;
}

Function* Pool::create(const std::string& name) {
    if (Function* f = find(name)) return f;
    functions_.push_back(std::make_unique<Function>());
    Function* f = functions_.back().get();
    f->name = name;
    byName_[name] = f;
    return f;
}

std::string cIdentifier(const std::string& name) {
    std::string s;
    for (char c : name)
        s += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    if (s.empty() || std::isdigit(static_cast<unsigned char>(s[0]))) s = "b_" + s;
    return s;
}

Type builtinTypeFromId(int32_t id) {
    switch (id) {
        case 0:
            return Type::doubleT();
        case 1:
            return Type::singleT();
        case 2:
            return Type::intT(true, 8);
        case 3:
            return Type::intT(false, 8);
        case 4:
            return Type::intT(true, 16);
        case 5:
            return Type::intT(false, 16);
        case 6:
            return Type::intT(true, 32);
        case 7:
            return Type::intT(false, 32);
        case 8:
            return Type::boolT();
        default:
            return Type();
    }
}

}  // namespace CG
