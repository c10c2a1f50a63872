#include "capture/win32/Win32CaptureBackend.h"

#include "capture/win32/Win32AudioLoopback.h"
#include "capture/win32/Win32EncoderSink.h"
#include "capture/win32/Win32ScreenCapture.h"

namespace qv {

std::unique_ptr<ScreenCapture> Win32CaptureBackend::screenCapture() { return std::make_unique<Win32ScreenCapture>(); }

std::unique_ptr<EncoderSink> Win32CaptureBackend::encoder() { return std::make_unique<Win32EncoderSink>(); }

std::unique_ptr<AudioLoopback> Win32CaptureBackend::loopback() { return std::make_unique<Win32AudioLoopback>(); }

} // namespace qv
