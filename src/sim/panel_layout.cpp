#include "sim/panel_layout.h"

#include "host/error.h"
#include "sim/xml_parser.h"

namespace murl::sim {

namespace {

// The leading decimal number of an attribute; 0 when it is absent or not a number.
int32_t Number(const XmlElement& element, std::u16string_view attribute) {
    const auto* text = element.Attribute(attribute);
    if (!text) return 0;
    int64_t value = 0;
    bool negative = false;
    size_t i = 0;
    if (i < text->size() && (*text)[i] == u'-') {
        negative = true;
        ++i;
    }
    for (; i < text->size() && (*text)[i] >= u'0' && (*text)[i] <= u'9'; ++i) {
        value = value * 10 + ((*text)[i] - u'0');
        if (value > INT32_MAX) return 0;
    }
    return static_cast<int32_t>(negative ? -value : value);
}

ControlKind KindOf(std::u16string_view progid) {
    if (progid == u"DecalControls.Checkbox") return ControlKind::CheckBox;
    if (progid == u"DecalControls.PushButton") return ControlKind::PushButton;
    return ControlKind::Other;
}

void CollectControls(const XmlElement& element, int32_t left, int32_t top,
                     std::vector<ControlLayout>& out) {
    for (const auto& child : element.children) {
        if (child.name != u"control") continue;
        const int32_t child_left = left + Number(child, u"left");
        const int32_t child_top = top + Number(child, u"top");
        if (const auto* name = child.Attribute(u"name")) {
            ControlLayout control;
            control.name = *name;
            if (const auto* progid = child.Attribute(u"progid")) control.progid = *progid;
            control.kind = KindOf(control.progid);
            control.left = child_left;
            control.top = child_top;
            control.width = Number(child, u"width");
            control.height = Number(child, u"height");
            const auto* checked = child.Attribute(u"checked");
            control.checked = checked && *checked == u"true" ? kHostTrue : kHostFalse;
            if (const auto* text = child.Attribute(u"text")) control.text = *text;
            out.push_back(std::move(control));
        }
        CollectControls(child, child_left, child_top, out);
    }
}

}  // namespace

PanelLayout ReadPanel(const XmlElement& root) {
    if (root.name != u"view") {
        throw Error(kUnreadableView,
                    u"The view definition's document element is <" + root.name + u">, not <view>",
                    u"LoadViewXml");
    }
    PanelLayout panel;
    if (const auto* title = root.Attribute(u"title")) panel.title = *title;
    panel.width = Number(root, u"width");
    panel.height = Number(root, u"height");
    panel.icon = Number(root, u"icon");
    CollectControls(root, 0, 0, panel.controls);
    return panel;
}

PanelLayout ReadPanel(XmlParser& parser, std::u16string_view definition) {
    return ReadPanel(parser.Parse(definition));
}

}  // namespace murl::sim
