// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>

#include "music/song_player.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QProgressBar;
class QSlider;
class QTimer;

namespace runtime {
class Services;
}

namespace forms {

// «Песня»: the song playing, beside the main window and never modal. It shows the song's name,
// where it is, the score while practising; it sets the tempo (25..200 %), the part, practice
// («Ждать меня») and starts the song over («Сначала»). It comes up whenever a song starts;
// closing it, or Escape in it, stops the song. Its controls never take the keyboard's focus:
// the keys are the instrument.
class SongWindow : public QWidget {
  public:
    // A window of the main window's, which goes with it.
    SongWindow(runtime::Services& services, music::SongPlayer& player, QWidget& mainWindow);

    // What the window shows, as the player has it now.
    void Refresh();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void Guarded(const std::function<void()>& handler);
    void PlaceBesideMainWindow();
    void ShowParts();
    void ShowScore();
    void ShowPosition();
    void ChangeSettings();

    runtime::Services& services_;
    music::SongPlayer& player_;
    QWidget& mainWindow_;
    QLabel* name_;
    QProgressBar* position_;
    QSlider* tempo_;
    QLabel* tempoLabel_;
    QComboBox* part_;
    QCheckBox* wait_;
    QLabel* state_;
    QLabel* score_;
    QTimer* ticker_;
};

}  // namespace forms
