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
#include "sim/event.h"

namespace murl::sim {

// The record as one JSON object, without a line break.
std::string JsonLine(const Record& record);
// The record as a line of JSON, and for people as a line with what was printed below it.
void AppendJsonRecord(std::string& out, const Record& record);
void AppendTextRecord(std::string& out, const Record& record);

class TranscriptWriter {
public:
    virtual ~TranscriptWriter() = default;
    virtual void Write(const Record& record) = 0;
    virtual void Flush() = 0;
};

// Writes each record in the form `format` appends it, through a buffer, to `out`; Flush (or
// destruction) empties the buffer.
class StreamTranscript : public TranscriptWriter {
public:
    using Format = void (*)(std::string& out, const Record& record);
    StreamTranscript(std::ostream& out, Format format) : out_(out), format_(format) {}
    ~StreamTranscript() override;
    void Write(const Record& record) override;
    void Flush() override;

private:
    void Flush(bool to_device);

    std::ostream& out_;
    Format format_;
    std::string buffer_;
};

class JsonTranscript final : public StreamTranscript {
public:
    explicit JsonTranscript(std::ostream& out) : StreamTranscript(out, AppendJsonRecord) {}
};

class TextTranscript final : public StreamTranscript {
public:
    explicit TextTranscript(std::ostream& out) : StreamTranscript(out, AppendTextRecord) {}
};

}  // namespace murl::sim
