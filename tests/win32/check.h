#pragma once
// A small table-driven test harness for the Windows test programs (GoogleTest does not build
// with this MinGW's thread model). Cases register themselves by name; a failed check reports
// the caller's file and line and the names of the enclosing TRACE scopes, and the case goes on.
//
//   TEST_CASE(factory_refuses_other_classes) {
//       for (const auto& row : kRows) {
//           TRACE(row.name);
//           CHECK_HR(row.expected, Call(row));
//       }
//   }
//
// A case that cannot run on this machine calls check::Skip(reason) and returns.
//
// Program arguments: nothing runs every case not marked manual; NAME... runs the cases whose
// name starts with one of the NAMEs; --list lists them.

#include <cstdint>
#include <type_traits>
#include <sstream>
#include <string>
#include <string_view>

namespace check {

using CaseFunction = void (*)();

struct Registrar {
    Registrar(const char* name, CaseFunction function, bool manual);
};

// Names the rows being checked while it lives.
class Trace {
public:
    explicit Trace(std::string name);
    ~Trace();
    Trace(const Trace&) = delete;
    Trace& operator=(const Trace&) = delete;
};

void Fail(const char* file, int line, const std::string& message);
// Marks the running case skipped, for `reason`: a run whose every case was skipped exits with
// kSkipped, which CTest reports as a skipped test.
void Skip(const std::string& reason);
inline constexpr int kSkipped = 77;
std::string Describe(const std::u16string_view& text);
std::string Hex(uint32_t value);

template <class T>
std::string Show(const T& value) {
    if constexpr (std::is_convertible_v<const T&, std::u16string_view>) {
        return Describe(std::u16string_view(value));
    } else if constexpr (std::is_convertible_v<const T&, std::wstring_view>) {
        std::wstring_view w(value);
        return Describe(std::u16string_view(reinterpret_cast<const char16_t*>(w.data()), w.size()));
    } else {
        std::ostringstream out;
        out << value;
        return out.str();
    }
}

template <class A, class B>
bool Equal(const char* file, int line, const char* a_text, const char* b_text, const A& a,
           const B& b) {
    if (a == b) return true;
    Fail(file, line,
         std::string(a_text) + " == " + b_text + "\n    left:  " + Show(a) +
             "\n    right: " + Show(b));
    return false;
}

bool HrEqual(const char* file, int line, const char* call, long expected, long actual);

}  // namespace check

#define CHECK_CONCAT2(a, b) a##b
#define CHECK_CONCAT(a, b) CHECK_CONCAT2(a, b)

#define TEST_CASE_IMPL(name, manual)                                             \
    static void test_##name();                                                   \
    static const check::Registrar registrar_##name(#name, &test_##name, manual); \
    static void test_##name()
#define TEST_CASE(name) TEST_CASE_IMPL(name, false)
// A case that runs only when named on the command line.
#define MANUAL_CASE(name) TEST_CASE_IMPL(name, true)

#define TRACE(name) check::Trace CHECK_CONCAT(trace_, __LINE__)(name)
#define CHECK(cond) ((cond) ? true : (check::Fail(__FILE__, __LINE__, "CHECK(" #cond ")"), false))
#define CHECK_EQ(a, b) check::Equal(__FILE__, __LINE__, #a, #b, (a), (b))
#define CHECK_HR(expected, call) check::HrEqual(__FILE__, __LINE__, #call, (expected), (call))
// Stops the case when the check fails.
#define REQUIRE(cond)             \
    do {                          \
        if (!CHECK(cond)) return; \
    } while (0)
#define REQUIRE_HR(expected, call)             \
    do {                                       \
        if (!CHECK_HR(expected, call)) return; \
    } while (0)
