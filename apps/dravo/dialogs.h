// Dialog descriptions: per block, the names, kinds, defaults and popup labels of its dialog parameters
// (docs/dialog-descriptions.md). Read from JSON files in the dialog folders.
#pragma once

#include <optional>
#include <utility>
#include <string>
#include <vector>

#include "values.h"

namespace dravo::cli {

enum class ParamKind { Number, Vector, Popup };

struct ParamDescription {
    int index = 0;
    std::string name;
    ParamKind kind = ParamKind::Number;
    Value defaultValue;
    std::string summary;
    std::vector<std::string> choices;  // popup labels in order
    std::vector<double> choiceValues;  // the number each label stands for
    std::optional<bool> tunable;       // documentation only
    // An integer-valued parameter ("whole": [lo, hi]): every element a whole number in the range.
    std::optional<std::pair<double, double>> wholeRange;
};

struct PortDescription {
    std::string name;
    std::string summary;
    bool optional = false;
};

struct DialogDescription {
    std::string block;
    std::string plugin;
    std::string summary;
    std::string sourcePath;
    std::vector<PortDescription> inputs, outputs;
    std::vector<ParamDescription> parameters;  // sorted by index

    const ParamDescription* findByName(const std::string& name) const;
    const ParamDescription* findByIndex(int index) const;
    int maxIndex() const;  // -1 when there are no parameters
};

// Parses one description; throws ToolError (badDialogDescription) naming the file and the fault.
DialogDescription parseDialogDescription(const std::string& jsonText, const std::string& sourcePath);

// The folders searched, in order: DRAVO_DIALOG_PATH, <binary>/../share/dravo/dialogs, the source tree.
std::vector<std::string> dialogFolders();
// Every readable description in the folders (the first one per block name wins). Broken files are
// skipped with a warning on stderr so that one bad file does not hide the others.
std::vector<DialogDescription> loadAllDialogs();
// The description whose block or plug-in name is `name`; nullopt when none.
std::optional<DialogDescription> findDialog(const std::string& name);

// A popup value typed by a person: a label (exact, or a unique case-insensitive prefix) or a number
// that one of the choices stands for. Throws UsageError (badValue) listing the choices.
Value popupValue(const ParamDescription& param, const std::string& text);
// The label of a popup's value, or the number when it matches no label.
std::string popupLabel(const ParamDescription& param, const Value& value);

}  // namespace dravo::cli
