#pragma once

class SControlPanel;

// Playback start and stop on the process-wide engine objects. Runs on the main thread.
namespace PlaybackControl
{
// Start and stop act only when the other state is in place (idle for start, playing for stop)
// and neither is already running; otherwise they change nothing.

// True while playing, and while a start or a stop runs.
bool IsBusy();

// Builds a fresh stream buffer and synthesizer, finds a rate and share mode the chosen device
// accepts (RateSearch), and starts the synthesizer and the device. Failures are shown in message
// boxes and leave everything stopped.
void Start(SControlPanel& panel);

// Stops the synthesizer, lets the queued sound play out, then stops and closes the device:
// true when it stopped playback.
bool Stop();

// Stop, then the panel shows idle with the user's choices: true when it stopped playback.
bool StopAndShowIdle(SControlPanel& panel);

// While playing: when the device thread has ended by itself (the device was lost or refused to
// go on), stops as StopAndShowIdle does and tells the user so. True when it stopped playback.
bool StopIfDeviceEnded(SControlPanel& panel);
}
