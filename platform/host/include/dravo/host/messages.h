// The host's message catalogue: an English text for every message class and message fragment the blocks
// name (e.g. "vision::system::angleNotScalar", "dspshared::systemmessagefragment::mapBlkWordLength").
// Texts take arguments through %s placeholders, filled in order; missing arguments leave "%s" out.
#pragma once

#include <string>
#include <vector>

namespace dravo::messages {

bool isKnown(const std::string& messageClass);
// The formatted text; for an unknown class, the class name itself followed by the arguments.
std::string text(const std::string& messageClass, const std::vector<std::string>& args = {});
// Every class in the catalogue (for tests and `dravo describe`).
std::vector<std::string> allClasses();

}  // namespace dravo::messages
