#include "check.h"

#include <cstdio>
#include <exception>
#include <vector>

#include "text/readable_text.h"

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
    std::string text = "0x";
    murl::AppendHex(text, value, 8);
    return text;
}

std::string Describe(const std::u16string_view& text) {
    return murl::ReadableText(text, 80) + " (" + std::to_string(text.size()) + " units)";
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
