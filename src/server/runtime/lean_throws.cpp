// The runtime's throwers for its containers' rare failures, replaced. Its own build a message in
// a narrow string and throw std::length_error and kin, and so bring two whole string
// implementations and their exceptions into a module that uses neither. Inside a host process no
// such message is read: a size beyond memory throws std::bad_alloc, which the COM skin maps to
// E_OUTOFMEMORY, and a container misused throws an exception that it maps to E_UNEXPECTED, as it
// did before.
//
// The runtime defines all its throwers in one object: a use in the module of one not replaced
// here brings that object in, and the link fails on the ones that are. The module's link says so
// (cmake/explain-link.sh); replace that one here too, or avoid the call.

#include <exception>
#include <new>

namespace {

struct ContainerMisused final : std::exception {
    const char* what() const noexcept override { return "container misused"; }
};

}  // namespace

// The runtime's own names, which these definitions replace at link time.
// NOLINTBEGIN(bugprone-reserved-identifier,cert-dcl58-cpp,misc-use-internal-linkage)
namespace std {

[[noreturn]] void __throw_bad_alloc() {
    throw bad_alloc();
}

[[noreturn]] void __throw_bad_array_new_length() {
    throw bad_array_new_length();
}

[[noreturn]] void __throw_length_error(const char*) {
    throw bad_alloc();
}

[[noreturn]] void __throw_logic_error(const char*) {
    throw ContainerMisused();
}

[[noreturn]] void __throw_out_of_range_fmt(const char*, ...) {
    throw ContainerMisused();
}

}  // namespace std
// NOLINTEND(bugprone-reserved-identifier,cert-dcl58-cpp,misc-use-internal-linkage)
