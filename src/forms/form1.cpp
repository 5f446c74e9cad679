// SPDX-License-Identifier: MIT
#include "forms/form1.h"

#include <QAbstractButton>
#include <QDropEvent>
#include <QFile>
#include <QKeyEvent>
#include <QMimeData>
#include <QPixmap>
#include <QRadioButton>
#include <string>

#include "core/run_time_error.h"
#include "forms/art/icons.h"
#include "forms/form1_layout.h"
#include "forms/form2.h"
#include "forms/form3.h"
#include "runtime/services.h"
#include "runtime/timer.h"

namespace forms {

namespace {

// The sample library: App.Path/wav/<instrument>/<n>.wav, n in decimal without leading zeros.
constexpr std::string_view kPianoFolder = "/wav/piano/";
constexpr std::string_view kOrganFolder = "/wav/organ/";
// Every file is described to the sound bank as 22050 samples per second, 8 bits, one channel.
constexpr std::int16_t kSamplesPerSec = 22050;
constexpr std::int16_t kBitsPerSample = 8;
constexpr std::int16_t kChannels = 1;
constexpr std::int16_t kLastSlot = 36;

const QString kFileNotFound = QStringLiteral("файл не найден");

// The first local file among those dragged, or an empty string.
std::string DraggedFile(const QMimeData* data) {
    if (data)
        for (const QUrl& url : data->urls())
            if (url.isLocalFile()) return QFile::encodeName(url.toLocalFile()).toStdString();
    return {};
}

std::string SamplePath(const std::string& appPath, std::string_view folder, std::int16_t slot) {
    return appPath + std::string(folder) + std::to_string(slot) + ".wav";
}

}  // namespace

Form1::Form1(runtime::Services& services, dx::Backends backends)
    : runtime::Form(services, kForm1, Form1Layout()), module_(*this, std::move(backends)) {
    artwork_ = std::async(std::launch::async, art::PaintKeyboardPictures, devicePixelRatioF());
    setWindowIcon(art::MainIcon());
    for (const NoteKey& row : NoteMap) {
        QLabel* highlight = image1_[row.note] = &Get<QLabel>("Image1", row.note);
        QLabel* mark = marks_[row.note] = new QLabel(highlight->parentWidget());
        mark->setGeometry(highlight->geometry());
        mark->stackUnder(highlight);
        mark->hide();
    }

    auto& timer1 = Get<runtime::Timer>("Timer1");
    timer1.OnTick([this] { Timer1_Timer(); });
    // A key change runs the tick at once rather than up to one interval later.
    module_.SetKeyEventNotification([&timer1] { timer1.TickNow(); });
    OnClick(Get<QAbstractButton>("Command1"), [this] { runtime::Unload(*this); });
    OnClick(Get<QAbstractButton>("Option1"), [this] { SwitchInstrument(Instrument::kPiano); });
    OnClick(Get<QAbstractButton>("Option2"), [this] { SwitchInstrument(Instrument::kOrgan); });
    // Each showing is a new window, gone again when it closes.
    OnClick(Get<QAbstractButton>("Command2"), [this] {
        Form2 form2(this->services());
        runtime::ShowModal(form2);
    });
    OnClick(Get<QAbstractButton>("Command3"), [this] {
        Form3 form3(this->services());
        runtime::ShowModal(form3);
    });
}

QLabel& Form1::Image1(int index) const {
    if (index < 1 || index > kNoteCount) throw core::SubscriptOutOfRange();
    return *image1_[index];
}

void Form1::ShowImage1(int index) {
    Image1(index).setVisible(true);
}

void Form1::Choose(Instrument instrument) {
    auto& button = Get<QAbstractButton>(instrument == Instrument::kOrgan ? "Option2" : "Option1");
    if (!button.isChecked()) button.click();
}

void Form1::Mark(const std::array<bool, kNoteCount + 1>& notes) {
    for (int note = 1; note <= kNoteCount; ++note) marks_[note]->setVisible(notes[note]);
}

void Form1::OnFileDrop(std::function<void(const std::string& path)> handler) {
    dropped_ = std::move(handler);
    setAcceptDrops(true);
}

void Form1::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && escaped_) return services().Guard(escaped_);
    runtime::Form::keyPressEvent(event);
}

void Form1::dragEnterEvent(QDragEnterEvent* event) {
    if (!DraggedFile(event->mimeData()).empty()) event->acceptProposedAction();
}

void Form1::dropEvent(QDropEvent* event) {
    const std::string file = DraggedFile(event->mimeData());
    if (file.empty()) return;
    event->acceptProposedAction();
    services().Guard([&] { dropped_(file); });
}

void Form1::OnLoad() {
    module_.InitSound(hWnd());
    module_.ResizeBank(kLastSlot);
    module_.InitKeyboard(hWnd());
    for (std::int16_t slot = 0; slot <= kLastSlot; ++slot) LoadNoteSample(slot, kPianoFolder);
    module_.LoopSlotZero();
    ShowArtwork();
}

void Form1::ShowArtwork() {
    const art::KeyboardPictures pictures = artwork_.get();
    runtime::SetPicture(Get<QLabel>("Picture1"), QPixmap::fromImage(pictures.keyboard));
    for (const NoteKey& row : NoteMap) {
        runtime::SetPicture(*image1_[row.note], QPixmap::fromImage(pictures.highlights[row.note]));
        runtime::SetPicture(*marks_[row.note], QPixmap::fromImage(pictures.marks[row.note]));
    }
}

void Form1::OnUnload() {
    module_.ReleaseSound();
    module_.ReleaseKeyboard();
}

// Every tick, and at once whenever keys change: hide all highlights, then test each key in note
// order; the reader shows the highlight of every key that is down, and every new press of a key
// plays its note once. Hiding and showing happen before the next repaint, so a held key
// does not flicker. Last, the sound device ticks.
void Form1::Timer1_Timer() {
    for (std::uint8_t note = 1; note <= kNoteCount; ++note) Image1(note).setVisible(false);
    for (const NoteKey& row : NoteMap) {
        module_.CurrentNote = row.note;
        if (module_.KeyJustPressed(row.keyCode) == core::kTrue)
            module_.PlayNote(module_.CurrentNote);
    }
    module_.TickSound();
}

void Form1::SwitchInstrument(Instrument instrument) {
    const std::string_view folder = instrument == Instrument::kOrgan ? kOrganFolder : kPianoFolder;
    module_.ClearBank();
    for (std::int16_t slot = 1; slot <= kLastSlot; ++slot) LoadNoteSample(slot, folder);
    if (instrumentChanged_) instrumentChanged_(instrument);
}

// A missing file is reported and its slot left as it is. A file that exists but cannot be
// played, for whatever reason, is reported too, with its path and the reason, and loading goes on
// with the next one.
void Form1::LoadNoteSample(std::int16_t slot, std::string_view folder) {
    if (runtime::Dir(SamplePath(services().AppPath(), folder, slot)).empty()) {
        services().MsgBox(kFileNotFound);
        return;
    }
    const std::string path = SamplePath(services().AppPath(), folder, slot);
    try {
        module_.LoadSample(slot, path, kSamplesPerSec, kBitsPerSample, kChannels);
    } catch (const core::LoadError& error) {
        services().MsgBox(QString::fromStdString(error.description()));
    }
}

}  // namespace forms
