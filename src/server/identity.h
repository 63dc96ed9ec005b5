#pragma once
// The identity of murl's component: its class, its default interface and its type library.

#include "platform/win32/windows_headers.h"

namespace murl::server {

// {A18570E7-CE38-41EE-881A-CC291C6A3A0F}
inline constexpr GUID kLibId = {
    0xA18570E7, 0xCE38, 0x41EE, {0x88, 0x1A, 0xCC, 0x29, 0x1C, 0x6A, 0x3A, 0x0F}};
inline constexpr WORD kLibMajor = 2;
inline constexpr WORD kLibMinor = 0;
// The library's name: the first part of each class's ProgID ("murl.clsMurl").
inline constexpr wchar_t kLibraryName[] = L"murl";

// clsMurl's name and the threading model it is registered with.
inline constexpr wchar_t kClassName[] = L"clsMurl";
inline constexpr wchar_t kThreadingModel[] = L"Apartment";

// clsMurl {37DEF914-A323-49FA-B948-3D0EF05E737F}
inline constexpr GUID kClsidClsMurl = {
    0x37DEF914, 0xA323, 0x49FA, {0xB9, 0x48, 0x3D, 0x0E, 0xF0, 0x5E, 0x73, 0x7F}};

// _clsMurl {F1F79250-77C5-4C8F-9548-2E547A04AAA1}
inline constexpr GUID kIidClsMurl = {
    0xF1F79250, 0x77C5, 0x4C8F, {0x95, 0x48, 0x2E, 0x54, 0x7A, 0x04, 0xAA, 0xA1}};

}  // namespace murl::server
