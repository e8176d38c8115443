// The process-wide data-type registry. Registered types are never removed, so ids and the TypeInfo
// references handed out stay valid for the life of the process.
#include "dravo/host/types.h"

#include <charconv>
#include <deque>
#include <map>
#include <stdexcept>
#include <tuple>

namespace dravo::types {
namespace {

struct Registry {
    std::deque<TypeInfo> byId;  // deque: references stay valid as types are added
    std::map<std::tuple<int, bool, int32_t, int32_t>, DataTypeId> byShape;  // (kind, signed, WL, FL)

    Registry() {
        add(Kind::Double, true, 64, 8, "double");
        add(Kind::Single, true, 32, 4, "single");
        add(Kind::Integer, true, 8, 1, "int8");
        add(Kind::Integer, false, 8, 1, "uint8");
        add(Kind::Integer, true, 16, 2, "int16");
        add(Kind::Integer, false, 16, 2, "uint16");
        add(Kind::Integer, true, 32, 4, "int32");
        add(Kind::Integer, false, 32, 4, "uint32");
        add(Kind::Boolean, false, 1, 1, "boolean");
    }

    void add(Kind kind, bool isSigned, int32_t wl, int32_t bytes, std::string name) {
        TypeInfo t;
        t.id = static_cast<DataTypeId>(byId.size());
        t.kind = kind;
        t.isSigned = isSigned;
        t.wordLength = wl;
        t.containerBytes = bytes;
        t.name = std::move(name);
        byId.push_back(std::move(t));
    }

    DataTypeId findOrAdd(Kind kind, bool isSigned, int32_t wl, int32_t fl) {
        if (wl < kMinFixedWordLength || wl > kMaxFixedWordLength) return -1;
        // The fraction length is negated into an exponent in several places; INT32_MIN has no negation.
        if (fl < -kMaxFractionLength || fl > kMaxFractionLength) return -1;
        auto key = std::make_tuple(static_cast<int>(kind), isSigned, wl, fl);
        auto it = byShape.find(key);
        if (it != byShape.end()) return it->second;
        TypeInfo t;
        t.id = static_cast<DataTypeId>(byId.size());
        t.kind = kind;
        t.isSigned = isSigned;
        t.wordLength = wl;
        t.fracLength = fl;
        t.containerBytes = kind == Kind::ScaledDouble ? 8 : containerFor(wl);
        t.name = std::string(kind == Kind::ScaledDouble ? "scaled:" : "fixed:") + (isSigned ? "s" : "u") +
                 std::to_string(wl) + ":" + std::to_string(fl);
        byId.push_back(t);
        byShape.emplace(key, t.id);
        return t.id;
    }

    static int32_t containerFor(int32_t wl) {
        if (wl <= 8) return 1;
        if (wl <= 16) return 2;
        if (wl <= 32) return 4;
        if (wl <= 64) return 8;
        return 16;
    }
};

Registry& registry() {
    static Registry r;
    return r;
}

bool parseInt(std::string_view s, int32_t& out) {
    if (s.empty()) return false;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc() && p == s.data() + s.size();
}

}  // namespace

DataTypeId registerFixedPoint(bool isSigned, int32_t wordLength, int32_t fracLength) {
    return registry().findOrAdd(Kind::FixedPoint, isSigned, wordLength, fracLength);
}

DataTypeId registerScaledDouble(bool isSigned, int32_t wordLength, int32_t fracLength) {
    return registry().findOrAdd(Kind::ScaledDouble, isSigned, wordLength, fracLength);
}

bool isKnown(DataTypeId id) {
    return id >= 0 && static_cast<size_t>(id) < registry().byId.size();
}

const TypeInfo& info(DataTypeId id) {
    if (!isKnown(id)) throw std::out_of_range("unknown data type id " + std::to_string(id));
    return registry().byId[static_cast<size_t>(id)];
}

std::string typeName(DataTypeId id) {
    if (id == DYNAMICALLY_TYPED) return "unset";
    if (!isKnown(id)) return "unknown(" + std::to_string(id) + ")";
    return info(id).name;
}

std::optional<DataTypeId> parseTypeName(const std::string& name) {
    Registry& r = registry();
    for (size_t i = 0; i <= SS_BOOLEAN; ++i)
        if (r.byId[i].name == name) return static_cast<DataTypeId>(i);
    // fixed:s16:12, fixed:u8:-3, scaled:s16:12
    std::string_view s(name);
    bool scaled;
    if (s.substr(0, 6) == "fixed:") {
        scaled = false;
        s.remove_prefix(6);
    } else if (s.substr(0, 7) == "scaled:") {
        scaled = true;
        s.remove_prefix(7);
    } else {
        return std::nullopt;
    }
    if (s.empty() || (s[0] != 's' && s[0] != 'u')) return std::nullopt;
    bool isSigned = s[0] == 's';
    s.remove_prefix(1);
    size_t colon = s.find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    int32_t wl = 0, fl = 0;
    if (!parseInt(s.substr(0, colon), wl) || !parseInt(s.substr(colon + 1), fl)) return std::nullopt;
    DataTypeId id = scaled ? registerScaledDouble(isSigned, wl, fl) : registerFixedPoint(isSigned, wl, fl);
    if (id < 0) return std::nullopt;
    return id;
}

const void* zeroValue(DataTypeId id) {
    alignas(16) static const unsigned char kZero[16] = {};
    return isKnown(id) ? kZero : nullptr;
}

}  // namespace dravo::types
