// The one libjpeg error manager of the decoder and the encoder. libjpeg
// reports an error by calling error_exit, which must not return: this one
// keeps libjpeg's text and longjmps back to the setjmp of the fence that made
// the call. A fence is a small C-style function that calls setjmp and then
// libjpeg, holding no C++ object with a destructor in between, and returns
// false when the jump comes back (JpegDecode.cpp, JpegCodec.cpp).
//
// Warnings (corrupt data, mostly) are passed to onWarning when it is set, and
// otherwise dropped: nothing is ever printed. onWarning may itself end the
// call with Fail.
#pragma once

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace tessaly {

struct JpegErrors {
  jpeg_error_mgr pub;  // first: libjpeg's pointer to it is a pointer to this
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX + 64] = {};
  void (*onWarning)(j_common_ptr info) = nullptr;
};

// Sets errors up as the error manager for a libjpeg object (info.err).
jpeg_error_mgr* UseJpegErrors(JpegErrors* errors);

// The manager of a libjpeg object set up by UseJpegErrors.
inline JpegErrors* ErrorsOf(j_common_ptr info) { return reinterpret_cast<JpegErrors*>(info->err); }

// Ends the libjpeg call in progress with message (printf-style) as its error.
[[noreturn]] void JpegFail(j_common_ptr info, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace tessaly
