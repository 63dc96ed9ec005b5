#pragma once
// The transcript of a run: one record per event line of the scenario, written as JSON (one
// object per line, the form tests compare) or as readable text for people.

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "host/host.h"
#include "sim/scenario.h"
#include "sim/sim_host.h"

namespace murl::sim {

struct Record {
    const Event* event = nullptr;
    std::optional<HostBool> eat;           // chat, status, type: the flag after the call
    std::vector<PrintedLine> printed;      // successful WriteChatText calls, in order
    std::optional<std::u16string> failed;  // the failure the plug-in handed back, if any
    bool heard = true;                     // some subscriber received the event
};

// Appends `text` as a JSON string: UTF-8, with every code unit kept (a lone surrogate as a
// \uDXXX escape) and control characters escaped.
void AppendJsonString(std::string& out, std::u16string_view text);

// The record as one JSON object, without a line break.
std::string JsonLine(const Record& record);

class TranscriptWriter {
public:
    virtual ~TranscriptWriter() = default;
    virtual void Write(const Record& record) = 0;
    virtual void Flush() = 0;
};

// Writes through a buffer to `out`; Flush (or destruction) empties it.
class JsonTranscript final : public TranscriptWriter {
public:
    explicit JsonTranscript(std::ostream& out) : out_(out) {}
    ~JsonTranscript() override;
    void Write(const Record& record) override;
    void Flush() override;

private:
    std::ostream& out_;
    std::string buffer_;
};

class TextTranscript final : public TranscriptWriter {
public:
    explicit TextTranscript(std::ostream& out) : out_(out) {}
    ~TextTranscript() override;
    void Write(const Record& record) override;
    void Flush() override;

private:
    std::ostream& out_;
    std::string buffer_;
};

// `text` for people: UTF-8 in double quotes, with the scenario language's escapes for quotes,
// backslashes, control characters and lone surrogates.
std::string ReadableText(std::u16string_view text);

// A name (a store's section or key) for people: UTF-8 without quotes, control characters and
// lone surrogates escaped as in ReadableText, everything else as it is.
std::string ReadableName(std::u16string_view text);

}  // namespace murl::sim
