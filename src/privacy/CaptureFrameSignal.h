#pragma once

namespace quorvia {

// What one capture callback reported about its frame.
enum class CaptureFrameSignal { renderable, idle, suspended, blank, stopped, unknown };

} // namespace quorvia
