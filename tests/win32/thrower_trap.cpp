// A module that uses a thrower of the C++ runtime that src/server/runtime/lean_throws.cpp does
// not replace: linked beside it, through cmake/explain-link.sh, it must fail and say so.

#include <bitset>

extern "C" __declspec(dllexport) unsigned long TrapBits(const char* text) {
    return std::bitset<8>(text).to_ulong();
}
