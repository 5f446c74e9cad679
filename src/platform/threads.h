// SPDX-License-Identifier: MIT
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
//   Notes (music/notes.h) follow the record of presses at once, on this thread: the MIDI
//   keyboard puts them into the JACK port's lock-free queue, or straight to the ALSA sequencer,
//   which never blocks, and polls the port once a second from a timer; at the end (LetGo) it
//   waits at most 200 ms for the last note offs to leave. The recording keeps them and writes its
//   file as the program ends. The song player's precise timer reports the song's keys to the
//   record of presses, and it hears the notes played for practice; the song's window shows where
//   the song is from a 100 ms timer while it plays.
//   MIDI in: a socket notifier on the port's input (music/midi_keyboard.cpp) runs the port's
//   Receive, which takes what came in without waiting, from the JACK port's other queue or from
//   the sequencer, where the announcement of a device's port connects it; the instrument's keys
//   go to the record of presses. A JACK port that goes waits at most 200 ms for its connector to close the client.
//   Desktop notifications (runtime/services) are handed to Qt's thread pool, which sends them
//   over D-Bus.
//
// Start-up, before the event loop runs; each joined by it before the window shows
//   The sound opening (main.cpp, std::async): makes the mixer and the system's sound while Qt
//   starts; the main window takes the device from it as it loads (SoundOpening::get).
//   The keyboard art (Form1, std::async): paints the drawing and its highlights at the screen's
//   scale while the window loads its sound and samples; joined at the end of the window's load.
//   Neither takes a lock: each hands its one result over through its future.
//
// Song reading (a worker of Qt's global thread pool, music/song_player.cpp)
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
// MIDI port opener (music/midi_keyboard.cpp, MidiKeyboard::Open)
//   One try at a time opens a port on a thread of its own, since a server that hangs makes the
//   open wait without a limit; it hands the port to the event loop under the try's mutex, or
//   closes it itself when the keyboard has gone meanwhile.
//
// JACK threads (midi/)
//   The real-time process thread takes the queued MIDI messages out and puts what came in into the
//   other queue, without waiting, and then writes the port's eventfd; JACK's notification thread
//   marks the server gone or a new connection, through atomics, and hands each port registered to
//   the connector under JackConnector::Shared::mutex.
//
// JACK connector (midi/, JackConnector, one per JACK port)
//   Makes the server requests after opening, since a server that hangs holds each up without a
//   limit and JACK's own threads may make none: connects the physical MIDI captures to the input
//   as the port opens and as each is registered, then closes the client. It takes its mutex only to
//   read what was handed to it. Left behind by a port that went while it was stuck, it ends once
//   the server answers, holding all the callbacks use until the client is closed.
#pragma once
