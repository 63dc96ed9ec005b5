#include "sim/transcript.h"

#include "sim/verbs.h"
#include "text/escaped_text.h"
#include "text/readable_text.h"
#include "text/text.h"

namespace murl::sim {

namespace {

constexpr size_t kFlushAt = 1 << 16;

// The verdict column: what became of the eat flag, blank where the event has none.
void AppendVerdict(std::string& out, const std::optional<HostBool>& eat) {
    if (!eat) {
        out += "       ";
    } else if (*eat == kHostTrue) {
        out += "eaten  ";
    } else if (*eat == kHostFalse) {
        out += "shown  ";
    } else {
        out += "eat=";
        AppendDecimal(out, *eat);
        out += "  ";
    }
}

// A printed line, with its colour and target where they are not the usual ones.
void AppendPrinted(std::string& out, const PrintedLine& line) {
    out += "                 > ";
    AppendVerbatim(out, line.text);
    if (line.colour != 5 || line.target != 1) {
        out += "  [colour ";
        AppendDecimal(out, line.colour);
        out += ", target ";
        AppendDecimal(out, line.target);
        out += ']';
    }
    out += '\n';
}

}  // namespace

std::string JsonLine(const Record& record) {
    std::string out;
    JsonWriter json(out);
    json.Object().Member("line", record.event->line);
    AppendEventJson(json, *record.event);
    if (record.eat) json.Member("bEat", *record.eat);
    json.Array("printed");
    for (const auto& line : record.printed) {
        json.Object().Member("text", line.text).Member("colour", line.colour);
        json.Member("target", line.target).Close();
    }
    json.Close();
    if (record.failed) json.Member("failed", *record.failed);
    json.Close();
    return out;
}

void AppendTextRecord(std::string& out, const Record& record) {
    // "  line  verdict  event", then what was printed ("> ") and the failure ("! ").
    const Event& e = *record.event;
    const std::string number = DecimalUtf8(e.line);
    if (number.size() < 6) out.append(6 - number.size(), ' ');
    out += number;
    out += "  ";
    AppendVerdict(out, record.eat);
    AppendEventText(out, e);
    if (!record.heard) {
        out += "  (";
        out += RowOf(e.verb).unheard;
        out += ')';
    }
    out += '\n';
    for (const auto& line : record.printed) AppendPrinted(out, line);
    if (record.failed) {
        out += "                 ! failed: ";
        AppendVerbatim(out, *record.failed);
        out += '\n';
    }
}

// ---- Streams ------------------------------------------------------------------------------

StreamTranscript::~StreamTranscript() {
    try {
        Flush(true);
    } catch (...) {
    }
}

void StreamTranscript::Write(const Record& record) {
    format_(buffer_, record);
    if (buffer_.size() >= kFlushAt) Flush(false);
}

void StreamTranscript::Flush() {
    Flush(true);
}

void StreamTranscript::Flush(bool to_device) {
    if (!buffer_.empty()) out_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    buffer_.clear();
    if (to_device) out_.flush();
}

void AppendJsonRecord(std::string& out, const Record& record) {
    out += JsonLine(record);
    out += '\n';
}

}  // namespace murl::sim
