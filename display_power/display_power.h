#pragma once

// Pause before the power command, so the click or key press that asked for it
// is over before the displays go dark (its own input would wake them again).
const unsigned PowerOffDelayMs = 500;

// The pause is only the least wait. A key or button still down after it would
// wake the displays the moment it comes up, and people press a shortcut's keys
// one at a time and keep them down well past half a second; so the command
// also waits until every key and button is up. Checked this often, so the
// displays go dark soon after the last release; each check stops at the first
// key it finds down, and the thread sleeps in between...
const unsigned ReleasePollIntervalMs = 25;
// ...and for at most this long after the pause: a key that never comes up (a
// stuck one, or one a remote-desktop client or a device driver holds) must not
// keep the displays on for ever.
const unsigned ReleaseWaitLimitMs = 10000;

// The longest one top-level window may keep the broadcast waiting. A window
// that answers at all answers a system command in a few milliseconds; one that
// does not must not freeze the caller (in the tray program, its whole user
// interface) for as long as it stays stuck.
const unsigned BroadcastReplyTimeoutMs = 1000;

// Waits PowerOffDelayMs, then until no key or mouse button is down (at most
// ReleaseWaitLimitMs more), then asks every top-level window, synchronously,
// to switch the displays off. Returns once the broadcast is over.
void RequestDisplayOff();
