// The program's threads: which runs what, and which locks each takes.
//
// The event loop (Qt's main thread) never waits for a server, a plug-in or a timeout. The
// real-time callbacks never allocate, log or lock, but for OpenAL's device lock, which the mixer
// takes for as long as one period's render.
//
// Event loop
//   The windows, and the key poll: Form1's 40 ms tick, and a tick at once after each batch of key
//   events. The key sources (keys/) report on it: the X11 connection and the evdev devices are
//   read through socket notifiers, the window's own key events come as events. No lock.
//   Sound (sound/): voices are made, started and stopped here; each al* call takes OpenAL's device
//   lock for a moment. A voice that starts something audible wakes the sound thread
//   (SystemSound::mutex_, which nobody holds while calling a library). The tick drops notes that
//   waited too long for an output, by the mixer's clock, which every thread reads without a lock.
//   MIDI (midi/): notes go into the JACK port's lock-free queue, or straight to the ALSA
//   sequencer, which never blocks; the port is polled once a second from a timer. At the end
//   (LetGo) it waits at most 200 ms for the last note offs to leave.
//   Desktop notifications (runtime/services) are handed to Qt's thread pool, which sends them
//   over D-Bus.
//   Songs (midi/): the song player's precise timer reports the song's keys to the record of
//   presses; the recording keeps what is played and writes its file as the program ends.
//
// Song reading (a worker of Qt's global thread pool, SongPlayer::Open)
//   Reads and checks the file, starts the song reader (tonarium-song-reader, a process that runs
//   libsmf on it) and waits for its notes on a pipe, at most 5 s. It takes SongPlayer::Inbox::mutex
//   only to post the song back to the event loop, which the player's destructor takes to stop
//   that.
//
// Sound thread («tonarium-sound», SystemSound)
//   Opens, polls and closes the outputs, hands the mixer from one to another (waiting for at most
//   a few periods of the old one's render), pauses the output in silence and wakes it, and says
//   what the outputs tell: why one was lost, how often the one playing fell behind, which then
//   queues more. It takes SystemSound::mutex_ only to read what the event loop asked, and each
//   output library's own loop lock (pw_thread_loop_lock, pa_threaded_mainloop_lock) to start, end
//   and resize its streams.
//
// Output threads (sound/), each rendering the mixer when its output owns it (Renderer::Render)
//   and telling the sound thread through its Renderer's atomics: the periods it could not fill in
//   time (Renderer::FellBehind), and once why it was lost (Renderer::Lost).
//   PipeWire: the loop thread connects and follows the stream's state and the core's errors; the
//     real-time data thread runs the process callback, which renders and counts the graph's
//     cycles it missed.
//   PulseAudio: the threaded main loop connects, follows the state, renders in the write callback
//     and counts the server's underflows in its own.
//   ALSA: a writer thread of the output's own makes every ALSA call, since a plug-in may wait for
//     its server without a limit; it renders, then writes, and counts the underruns it recovers
//     from. Its pause waits on the writer's mutex. A writer stuck in a plug-in is left to end by
//     itself; from then on it never touches the mixer (Renderer::Detach).
//
// MIDI port opener (midi/, MidiKeyboard::Open)
//   One try at a time opens a port on a thread of its own, since a server that hangs makes the
//   open wait without a limit; it hands the port to the event loop under the try's mutex, or
//   closes it itself when the keyboard has gone meanwhile.
//
// JACK threads (midi/)
//   The real-time process thread takes the queued MIDI messages, without waiting; JACK's
//   notification thread marks the server gone or a new connection, through atomics.
#pragma once
