// The option syntax every caller of the set-up path shares: parameter settings, changes, port types.
#include <string>

#include "setup.h"

namespace dravo::setup {
namespace {

using cli::msg::kBadValue;
using cli::msg::kUsage;

constexpr size_t kMaxIndexDigits = 6;  // no dialog has a million parameters
constexpr size_t kMaxPortDigits = 4;
constexpr size_t kMaxStepDigits = 9;  // fits int32

bool isWholeNumber(const std::string& s, size_t maxDigits) {
    return !s.empty() && s.size() <= maxDigits && s.find_first_not_of("0123456789") == std::string::npos;
}

std::pair<std::string, std::string> splitAssignment(const std::string& text, const char* option) {
    size_t eq = text.find('=');
    if (eq == std::string::npos || eq == 0)
        throw UsageError(kUsage,
                         std::string(option) + " expects NAME=VALUE or INDEX=VALUE, got '" + text + "'");
    return {text.substr(0, eq), text.substr(eq + 1)};
}

}  // namespace

ParamSetting parseIndexSetting(const std::string& text, const char* option) {
    auto [key, value] = splitAssignment(text, option);
    if (!isWholeNumber(key, kMaxIndexDigits))
        throw UsageError(
            kUsage, std::string(option) + " takes an index: '" + key + "' is not one (use --set NAME=VALUE)");
    return {std::stoi(key), "", value};
}

ParamSetting parseNameSetting(const std::string& text, const char* option) {
    auto [key, value] = splitAssignment(text, option);
    return {std::nullopt, key, value};
}

int parseChange(const std::string& text, ParamSetting& setting) {
    size_t colon = text.find(':');
    std::string stepText = colon == std::string::npos ? "" : text.substr(0, colon);
    if (!isWholeNumber(stepText, kMaxStepDigits))
        throw UsageError(kUsage, "--change expects STEP:NAME=VALUE, got '" + text + "'");
    auto [key, value] = splitAssignment(text.substr(colon + 1), "--change");
    if (isWholeNumber(key, kMaxIndexDigits))
        setting = {std::stoi(key), "", value};
    else
        setting = {std::nullopt, key, value};
    return std::stoi(stepText);
}

std::map<int, DataTypeId> parsePortTypes(const std::vector<std::string>& items, const char* option) {
    std::map<int, DataTypeId> out;
    for (const auto& item : items) {
        int port = 0;
        std::string typeText = item;
        size_t eq = item.find('=');
        if (eq != std::string::npos) {
            std::string portText = item.substr(0, eq);
            if (!isWholeNumber(portText, kMaxPortDigits))
                throw UsageError(kUsage, std::string(option) + ": '" + portText + "' is not a port number");
            port = std::stoi(portText);
            typeText = item.substr(eq + 1);
        }
        auto id = types::parseTypeName(typeText);
        if (!id)
            throw UsageError(kBadValue, std::string(option) + ": unknown type '" + typeText +
                                            "' (double, single, int8, uint8, int16, uint16, int32, uint32, "
                                            "boolean, fixed:s16:12, fixed:u8:0, scaled:s16:12)");
        out[port] = *id;
    }
    return out;
}

}  // namespace dravo::setup
