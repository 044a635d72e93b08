#include "JpegErrors.h"

#include <cstdarg>

namespace tessaly {

namespace {

void OnError(j_common_ptr info) {
  JpegErrors* errors = ErrorsOf(info);
  (*info->err->format_message)(info, errors->message);
  std::longjmp(errors->jump, 1);
}

void OnMessage(j_common_ptr info, int level) {
  if (level >= 0) return;  // traces
  JpegErrors* errors = ErrorsOf(info);
  ++errors->pub.num_warnings;
  if (errors->onWarning) errors->onWarning(info);
}

void Silent(j_common_ptr) {}

}  // namespace

jpeg_error_mgr* UseJpegErrors(JpegErrors* errors) {
  jpeg_std_error(&errors->pub);
  errors->pub.error_exit = OnError;
  errors->pub.emit_message = OnMessage;
  errors->pub.output_message = Silent;
  errors->message[0] = '\0';
  return &errors->pub;
}

void JpegFail(j_common_ptr info, const char* format, ...) {
  JpegErrors* errors = ErrorsOf(info);
  va_list args;
  va_start(args, format);
  std::vsnprintf(errors->message, sizeof errors->message, format, args);
  va_end(args);
  std::longjmp(errors->jump, 1);
}

}  // namespace tessaly
