// SPDX-License-Identifier: MIT
// Form1, the main window. Command1 «Выход», Command2 «Порядок нот» (opens Form2), Command3
// «О программе» (opens Form3); Option1..3 the instruments; Picture1 the keyboard drawing,
// Image1(n) the highlight of note n; Timer1 the key poll, Timer1_Timer its tick.
#pragma once

#include <QLabel>
#include <array>
#include <cstdint>
#include <functional>
#include <future>
#include <string>
#include <string_view>

#include "core/instrument.h"
#include "core/note_map.h"
#include "dx/direct_sound_module.h"
#include "forms/art/keyboard_art.h"
#include "runtime/form.h"

namespace forms {

using core::kNoteCount;
using core::NoteKey;
using core::NoteMap;

// The main window: the drawn keyboard with its highlight pictures, the instrument choice and
// three buttons. It brings up the sound and keyboard services, fills the sound bank from the
// sample library beside the program, and plays the keys on every tick of its timer.
class Form1 : public runtime::Form, public dx::HighlightPictures {
  public:
    using Instrument = core::Instrument;

    Form1(runtime::Services& services, dx::Backends backends);
    // Chooses the instrument as its option button does; nothing when it is chosen already.
    void Choose(Instrument instrument);
    // Runs after an instrument button has loaded its instrument.
    void OnInstrumentChange(std::function<void(Instrument)> handler) {
        instrumentChanged_ = std::move(handler);
    }
    // Runs when a file is dropped on the window (the window takes drops of files once set).
    void OnFileDrop(std::function<void(const std::string& path)> handler);
    // Runs when Escape is pressed in the window.
    void OnEscape(std::function<void()> handler) { escaped_ = std::move(handler); }

    // Image1(index).Visible = True, for the keyboard reader.
    void ShowImage1(int index) override;
    // Marks the keys of these notes (by note; [0] unused) as keys to press next, in a colour of
    // their own; a marked key that is held shows as held.
    void Mark(const std::array<bool, kNoteCount + 1>& notes);

    QLabel& Image1(int index) const;
    // The sound and keyboard module the window drives.
    dx::DirectSoundModule& Module() { return module_; }

  protected:
    void OnLoad() override;
    void OnUnload() override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    // Puts the artwork painted meanwhile in its place, before the window shows.
    void ShowArtwork();
    void Timer1_Timer();
    void SwitchInstrument(Instrument instrument);
    void LoadNoteSample(std::int16_t slot, std::string_view folder);

    dx::DirectSoundModule module_;
    // Painted on a worker thread while the window loads its sound and samples.
    std::future<art::KeyboardPictures> artwork_;
    std::array<QLabel*, kNoteCount + 1> image1_{};  // by note; [0] unused
    std::array<QLabel*, kNoteCount + 1> marks_{};   // beneath the highlights
    std::function<void(Instrument)> instrumentChanged_;
    std::function<void(const std::string&)> dropped_;
    std::function<void()> escaped_;
};

}  // namespace forms
