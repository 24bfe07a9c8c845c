// Helpers for NUL-terminated wide buffers. A buffer from WideStrAlloc has a
// 32-bit word with its total size in bytes (2 x characters + 4) in front of
// the first character; it is freed with WideStrDispose.
#pragma once

#include <cstddef>

#include "controls/ucsystem.h"

WideChar* WideStrAlloc(size_t characters);
void WideStrDispose(WideChar* text);
// The size word of a buffer from WideStrAlloc.
size_t WideStrBufSize(const WideChar* text);
// nullptr for nullptr, else a WideStrAlloc copy with the NUL.
WideChar* WideStrNew(const WideChar* text);
// Moves n characters; the ranges may overlap.
WideChar* WideStrMove(WideChar* destination, const WideChar* source, size_t n);
size_t WideStrLen(const WideChar* text);
WideChar* WideStrEnd(WideChar* text);
WideChar* WideStrLimitedCopy(WideChar* destination, const WideChar* source, size_t n);
WideChar* WideStrCopy(WideChar* destination, const WideChar* source);
WideChar* WideStrPCopy(WideChar* destination, const WideString& source);
// The first occurrence of c; searching for NUL finds the terminator.
WideChar* WideStrScan(WideChar* text, WideChar c);
