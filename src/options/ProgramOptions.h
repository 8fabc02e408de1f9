#pragma once

#include "common/Result.h"
#include "options/AutostartEntry.h"
#include "options/OptionValues.h"

#include <QObject>
#include <QString>

#include <optional>

class Regedit;

// The program-wide options, loaded from the store at the first read of any of them and kept in
// memory for the rest of the run. The Program configuration window edits this set live; its
// "&OK" calls storeAll(). Flags are true when set; texts are kept as typed.
class ProgramOptions final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ProgramOptions)

public:
    static inline const QString kProductKey = QStringLiteral("Software\\Velmora");

    explicit ProgramOptions(Regedit& store, QObject* parent = nullptr);

    bool min() const;
    bool systray() const;
    bool autostart() const;
    bool close() const;
    QString closeCount() const; // "Close#"
    bool keep() const;
    bool suc() const;
    bool print() const;
    bool motion() const;
    bool ask() const;
    bool sound() const;
    // A desktop notification when an account's uploads keep failing and when they work again;
    // on unless turned off ("Notify").
    bool notify() const;
    QString soundSec() const;
    QString soundSrc() const;
    QString textTimeName() const;
    // The name the time file goes under: "TextTimeName", or "time.txt" while that is empty.
    QString timeFileName() const;
    static inline const QString kDefaultTimeFileName = QStringLiteral("time.txt");
    QString quality() const; // "Image Quality (JPEG):"
    // The quality rule: the quality text as a whole number; a text that is not one becomes "100".
    int jpegQuality();
    QString bgPic() const;
    // The main window's background colour (red + 256 * green + 65536 * blue); absent until one is
    // chosen or stored, when the window is white.
    std::optional<quint32> bgColor() const;
    static constexpr quint32 kDefaultBgColor = 0xFFFFFF;

    void setMin(bool set);
    void setSystray(bool set);
    void setAutostart(bool set);
    void setClose(bool set);
    void setCloseCount(const QString& text);
    void setKeep(bool set);
    void setSuc(bool set);
    void setPrint(bool set);
    void setMotion(bool set);
    void setAsk(bool set);
    void setSound(bool set);
    void setNotify(bool set);
    void setSoundSec(const QString& text);
    void setSoundSrc(const QString& text);
    void setTextTimeName(const QString& text);
    void setQuality(const QString& text);
    void setBgPic(const QString& text);
    void setBgColor(quint32 color);

    // Writes the whole set in the order of OptionFields and writes or removes the autostart entry
    // after the autostart flag. A failure's sentence says what could not be saved, a line for the
    // options and one for the entry; what could be saved is saved either way.
    Result<void> storeAll(const AutostartEntry::Command& autostart);

signals:
    void changed();

private:
    using Values = OptionValues;

    const Values& values() const;
    Values& edit();
    void load() const;
    template <typename T> void set(T Values::*field, const T& value);

    Regedit& m_store;
    mutable bool m_loaded = false;
    mutable Values m_values;
};
