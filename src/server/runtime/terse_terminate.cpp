// The runtime's verbose terminate handler, replaced: it prints the type of the exception that
// ended the program, and brings the runtime's symbol demangler into the module for it. Inside a
// host process nobody reads that message, and no exception leaves a COM method of ours: the
// module ends the process as the handler would, without the message.

#include <cstdlib>

namespace __gnu_cxx {

// The runtime's own name for the handler, which this definition replaces at link time.
void __verbose_terminate_handler() {  // NOLINT(bugprone-reserved-identifier)
    std::abort();
}

}  // namespace __gnu_cxx
