#include "check.h"

#include <cstdio>
#include <exception>
#include <vector>

namespace check {

namespace {

struct Case {
    const char* name;
    CaseFunction function;
    bool manual;
};

std::vector<Case>& Cases() {
    static std::vector<Case> cases;
    return cases;
}

std::vector<std::string>& Traces() {
    static std::vector<std::string> traces;
    return traces;
}

int g_failures = 0;
std::string g_skipped;

}  // namespace

Registrar::Registrar(const char* name, CaseFunction function, bool manual) {
    Cases().push_back({name, function, manual});
}

Trace::Trace(std::string name) {
    Traces().push_back(std::move(name));
}
Trace::~Trace() {
    Traces().pop_back();
}

void Fail(const char* file, int line, const std::string& message) {
    ++g_failures;
    std::printf("%s:%d: failure: %s\n", file, line, message.c_str());
    for (const std::string& t : Traces()) std::printf("    in: %s\n", t.c_str());
    std::fflush(stdout);
}

void Skip(const std::string& reason) {
    g_skipped = reason.empty() ? "skipped" : reason;
}

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(value));
    return text;
}

std::string Describe(const std::u16string_view& text) {
    std::string out = "\"";
    size_t shown = 0;
    for (char16_t c : text) {
        if (++shown > 80) {
            out += "...";
            break;
        }
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04X", static_cast<unsigned>(c));
            out += esc;
        }
    }
    out += "\" (" + std::to_string(text.size()) + " units)";
    return out;
}

bool HrEqual(const char* file, int line, const char* call, long expected, long actual) {
    if (expected == actual) return true;
    Fail(file, line,
         std::string(call) + "\n    expected: " + Hex(static_cast<uint32_t>(expected)) +
             "\n    actual:   " + Hex(static_cast<uint32_t>(actual)));
    return false;
}

}  // namespace check

int main(int argc, char** argv) {
    using check::Cases;
    std::vector<std::string> wanted(argv + 1, argv + argc);
    if (wanted.size() == 1 && wanted[0] == "--list") {
        for (const auto& c : Cases()) std::printf("%s%s\n", c.name, c.manual ? " (manual)" : "");
        return 0;
    }
    int run = 0;
    int skipped = 0;
    for (const auto& c : Cases()) {
        bool selected = wanted.empty() && !c.manual;
        for (const std::string& w : wanted) selected |= std::string_view(c.name).starts_with(w);
        if (!selected) continue;
        ++run;
        const int before = check::g_failures;
        std::printf("[ RUN  ] %s\n", c.name);
        std::fflush(stdout);
        try {
            c.function();
        } catch (const std::exception& e) {
            check::Fail(__FILE__, __LINE__, std::string("exception: ") + e.what());
        } catch (...) {
            check::Fail(__FILE__, __LINE__, "unknown exception");
        }
        if (check::g_failures == before && !check::g_skipped.empty()) {
            ++skipped;
            std::printf("[ SKIP ] %s: %s\n", c.name, check::g_skipped.c_str());
        } else {
            std::printf("[ %s ] %s\n", check::g_failures == before ? " OK " : "FAIL", c.name);
        }
        check::g_skipped.clear();
        std::fflush(stdout);
    }
    if (run == 0) {
        std::printf("no case selected\n");
        return 1;
    }
    std::printf("%d case(s), %d skipped, %d failed check(s)\n", run, skipped, check::g_failures);
    if (check::g_failures != 0) return 1;
    return skipped == run ? check::kSkipped : 0;
}
