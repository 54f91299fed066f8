// The per-report path between the page's worker script and the engine: plain functions over two
// fixed buffers of kReportSize bytes in the module's memory. The script writes each input
// report into the input buffer and calls morvik_input_report; each report the engine sends is
// in the output buffer when the script's sendOutputReport is called.
#pragma once

#include <emscripten/emscripten.h>

#include <cstdint>

extern "C" {
EMSCRIPTEN_KEEPALIVE std::uint8_t* morvik_input_buffer();
EMSCRIPTEN_KEEPALIVE std::uint8_t* morvik_output_buffer();
// Hands the input buffer's first `length` bytes (at most kReportSize) to the engine.
EMSCRIPTEN_KEEPALIVE void morvik_input_report(int length);
}
