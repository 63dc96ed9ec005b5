#pragma once
// A view definition read as a panel: its title and size, and every named control with its
// kind, place, size, initial state and label.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/host.h"
#include "sim/xml_parser.h"

namespace murl::sim {

enum class ControlKind { CheckBox, PushButton, Other };

struct ControlLayout {
    std::u16string name;
    std::u16string progid;
    ControlKind kind = ControlKind::Other;
    int32_t left = 0, top = 0, width = 0, height = 0;  // in the view's units, from its corner
    HostBool checked = kHostFalse;                     // check boxes: checked="true" gives -1
    std::u16string text;
};

struct PanelLayout {
    std::u16string title;
    int32_t width = 0, height = 0, icon = 0;
    std::vector<ControlLayout> controls;  // named controls, in document order
};

// Reads the document element of a view definition. A root that is not a view throws an Error.
PanelLayout ReadPanel(const XmlElement& root);

// Parses `definition` with `parser` and reads it as a panel.
PanelLayout ReadPanel(XmlParser& parser, std::u16string_view definition);

}  // namespace murl::sim
