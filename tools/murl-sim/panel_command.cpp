// murl-sim panel: the plug-in's panel, laid out from its own view definition, as a table or
// as an SVG drawing.

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>

#include "commands.h"
#include "machine.h"
#include "plugin/view_definition.h"
#include "sim/panel_layout.h"
#include "sim/xml_parser.h"
#include "text/text.h"

namespace murl::tool {

namespace {

// The view definition as the plug-in object builds it: its pieces joined.
std::u16string PluginViewDefinition() {
    std::u16string text;
    for (const auto piece : kViewDefinitionPieces) text += piece;
    return text;
}

std::string Pad(const std::string& text, size_t width, bool right = false) {
    if (text.size() >= width) return text + " ";
    const std::string fill(width - text.size(), ' ');
    return (right ? fill + text : text + fill) + " ";
}

std::string KindName(sim::ControlKind kind) {
    switch (kind) {
        case sim::ControlKind::CheckBox:
            return "check box";
        case sim::ControlKind::PushButton:
            return "push button";
        case sim::ControlKind::Other:
            return "other";
    }
    return {};
}

std::string Table(const sim::PanelLayout& panel) {
    std::string out = ToUtf8(panel.title) + "  (" + DecimalUtf8(panel.width) + " x " +
                      DecimalUtf8(panel.height) + ", icon " + DecimalUtf8(panel.icon) + ")\n";
    out += Pad("name", 11) + Pad("kind", 12) + Pad("left", 5, true) + Pad("top", 4, true) +
           Pad("width", 6, true) + Pad("height", 6, true) + " " + Pad("starts", 10) + "text\n";
    for (const auto& c : panel.controls) {
        const std::string state = c.kind != sim::ControlKind::CheckBox ? "-"
                                  : c.checked == kHostTrue             ? "checked"
                                                                       : "clear";
        out += Pad(ToUtf8(c.name), 11) + Pad(KindName(c.kind), 12) +
               Pad(DecimalUtf8(c.left), 5, true) + Pad(DecimalUtf8(c.top), 4, true) +
               Pad(DecimalUtf8(c.width), 6, true) + Pad(DecimalUtf8(c.height), 6, true) + " " +
               Pad(state, 10) + ToUtf8(c.text) + "\n";
    }
    return out;
}

std::string XmlText(std::u16string_view text) {
    std::string out;
    for (const char c : ToUtf8(text)) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&apos;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string SvgNumber(int32_t value) {
    return DecimalUtf8(value);
}

// A check box: its bounds, faintly, then the box, its tick when checked, and its label.
std::string SvgCheckBox(const sim::ControlLayout& c) {
    const int box_x = c.left + 2;
    const int box_y = c.top + (c.height - 13) / 2;
    std::string out = "      <rect x=\"" + SvgNumber(box_x) + "\" y=\"" + SvgNumber(box_y) +
                      "\" width=\"13\" height=\"13\" fill=\"#ffffff\" stroke=\"#1c5180\"/>\n";
    if (c.checked == kHostTrue) {
        out += "      <polyline class=\"check\" points=\"" + SvgNumber(box_x + 3) + "," +
               SvgNumber(box_y + 6) + " " + SvgNumber(box_x + 5) + "," + SvgNumber(box_y + 10) +
               " " + SvgNumber(box_x + 10) + "," + SvgNumber(box_y + 3) +
               "\" fill=\"none\" stroke=\"#21a121\" stroke-width=\"2\"/>\n";
    }
    out += "      <text x=\"" + SvgNumber(c.left + 20) + "\" y=\"" +
           SvgNumber(c.top + c.height / 2 + 4) + "\">" + XmlText(c.text) + "</text>\n";
    return out;
}

std::string SvgControl(const sim::ControlLayout& c) {
    const std::string bounds = "      <rect x=\"" + SvgNumber(c.left) + "\" y=\"" +
                               SvgNumber(c.top) + "\" width=\"" + SvgNumber(c.width) +
                               "\" height=\"" + SvgNumber(c.height) + "\"";
    std::string out = "    <g id=\"" + XmlText(c.name) + "\">\n";
    out += "      <title>" + XmlText(c.name) + "</title>\n";
    if (c.kind == sim::ControlKind::PushButton) {
        out += bounds + " rx=\"3\" fill=\"#f4f4f0\" stroke=\"#5a5a5a\"/>\n";
        out += "      <text x=\"" + SvgNumber(c.left + c.width / 2) + "\" y=\"" +
               SvgNumber(c.top + c.height / 2 + 4) + "\" text-anchor=\"middle\">" +
               XmlText(c.text) + "</text>\n";
    } else {
        out += bounds + " fill=\"none\" stroke=\"#c8c4b0\" stroke-dasharray=\"2 2\"/>\n";
        if (c.kind == sim::ControlKind::CheckBox) out += SvgCheckBox(c);
    }
    return out + "    </g>\n";
}

std::string Svg(const sim::PanelLayout& panel) {
    constexpr int kTitleBar = 22;
    const int width = panel.width + 2;
    const int height = panel.height + kTitleBar + 2;
    std::string out;
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    out += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + SvgNumber(width) +
           "\" height=\"" + SvgNumber(height) + "\" viewBox=\"0 0 " + SvgNumber(width) + " " +
           SvgNumber(height) +
           "\" font-family=\"Verdana, DejaVu Sans, sans-serif\" font-size=\"11\">\n";
    out += "  <rect x=\"0.5\" y=\"0.5\" width=\"" + SvgNumber(width - 1) + "\" height=\"" +
           SvgNumber(height - 1) + "\" fill=\"#ece9d8\" stroke=\"#3a3a3a\"/>\n";
    out += "  <g id=\"title-bar\">\n";
    out += "    <rect x=\"1\" y=\"1\" width=\"" + SvgNumber(panel.width) + "\" height=\"" +
           SvgNumber(kTitleBar) + "\" fill=\"#2a4d7f\"/>\n";
    out += "    <text x=\"8\" y=\"16\" fill=\"#ffffff\" font-weight=\"bold\" font-size=\"12\">" +
           XmlText(panel.title) + "</text>\n";
    out += "  </g>\n";
    out += "  <g id=\"view\" transform=\"translate(1," + SvgNumber(kTitleBar + 1) + ")\">\n";
    for (const auto& c : panel.controls) out += SvgControl(c);
    out += "  </g>\n</svg>\n";
    return out;
}

int CannotWrite(const std::string& svg, const std::string& reason) {
    std::cerr << "murl-sim: cannot write the --svg file " << Quoted(svg) << ": " << reason << '\n';
    return kExitFailure;
}

std::string Reason(const char* otherwise) {
    return errno != 0 ? std::strerror(errno) : otherwise;
}

// Writes the drawing to the file `svg`, or with "-" to standard output.
int WriteSvg(const std::string& svg, const std::string& drawing) {
    if (svg == "-") {
        std::cout << drawing << std::flush;  // a failure is reported with the exit status
        return kExitOk;
    }
    std::error_code ec;
    if (std::filesystem::is_directory(ArgumentPath(svg), ec)) {
        return CannotWrite(svg, "it is a folder");
    }
    errno = 0;
    std::ofstream out(ArgumentPath(svg), std::ios::binary | std::ios::trunc);
    if (!out) return CannotWrite(svg, Reason("it cannot be opened"));
    out << drawing;
    out.close();
    if (!out) return CannotWrite(svg, Reason("a write failed"));
    return kExitOk;
}

int Panel(const std::string& svg) {
    auto parser = sim::MakeXmlParser();
    const sim::PanelLayout panel = sim::ReadPanel(*parser, PluginViewDefinition());
    if (svg.empty()) {
        std::cout << Table(panel) << std::flush;
        return kExitOk;
    }
    return WriteSvg(svg, Svg(panel));
}

}  // namespace

void AddPanelCommand(CLI::App& app, Commands& commands) {
    auto svg = std::make_shared<std::string>();  // empty: print the controls as a table
    auto* panel =
        app.add_subcommand("panel", "Show the plug-in's panel as its view definition lays it out");
    panel
        ->add_option("--svg", *svg,
                     "Draw the panel into this SVG file (- for standard output) instead of "
                     "printing a table of its controls")
        ->check(NonEmptyText());
    commands.push_back({panel, [svg] { return Panel(*svg); }});
}

}  // namespace murl::tool
