#pragma once

#include <QWidget>

class Help;
class NumberField;
class QLineEdit;
class QPushButton;
class QSlider;
class Regedit;

// "Movie Frame Rate" (movieframerate): the frame rate of movie captures, 1 to 100 frames per
// second, as a slider with a text box beside it. Created once, hidden and shown; "&OK" stores the
// slider value and is the only way out.
class MovieFrameRateWindow final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MovieFrameRateWindow)

public:
    static inline const QString kStoredName = QStringLiteral("FrameRate");
    static constexpr int kDefaultRate = 30;

    MovieFrameRateWindow(Regedit& store, Help& help, QWidget* parent = nullptr);

    // The slider value: what a movie capture uses.
    int frameRate() const;
    // "&OK": stores the slider value, hides the window and asks for the main window.
    void confirm();

signals:
    void mainWindowRequested();

private:
    Regedit& m_store;
    QLineEdit* m_text;
    NumberField* m_textField;
    QSlider* m_slider;
    QPushButton* m_ok;
    QPushButton* m_help;
};
