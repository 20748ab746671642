#pragma once

// Pause before the power command, so the click or key press that asked for it
// is over before the displays go dark (its own input would wake them again).
const unsigned PowerOffDelayMs = 500;

// The longest one top-level window may keep the broadcast waiting. A window
// that answers at all answers a system command in a few milliseconds; one that
// does not must not freeze the caller (in the tray program, its whole user
// interface) for as long as it stays stuck.
const unsigned BroadcastReplyTimeoutMs = 1000;

// Waits PowerOffDelayMs, then asks every top-level window, synchronously, to
// switch the displays off. Returns once the broadcast is over.
void RequestDisplayOff();
