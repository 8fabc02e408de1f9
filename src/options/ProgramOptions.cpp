#include "options/ProgramOptions.h"

#include "common/DateTimeText.h"
#include "options/AutostartEntry.h"
#include "settings/Regedit.h"
#include "settings/StoredText.h"

#include <QStringList>

#include <cmath>

namespace {
const QString kQuality = QStringLiteral("Image Quality (JPEG):");
const QString kHundred = QStringLiteral("100");

// A whole number written as text, as the quality and delay boxes hold them.
std::optional<qint64> number(const QString& text)
{
    if (const std::optional<qint64> whole = StoredText::wholeNumber(text))
        return whole;
    const std::optional<double> value = parseStoredNumber(text);
    if (!value || std::abs(*value) > 1e15)
        return std::nullopt;
    return static_cast<qint64>(std::llround(*value));
}
} // namespace

ProgramOptions::ProgramOptions(Regedit& store, QObject* parent) : QObject(parent), m_store(store) {}

void ProgramOptions::load() const
{
    m_loaded = true;
    const auto read = [this](const char* name) {
        return m_store.GetString(HKEY_LOCAL_MACHINE, kProductKey, QLatin1String(name));
    };
    Values& v = m_values;

    // The quality rule at load: over 100 is 100; negative, non-numbers and absent are 100.
    const std::optional<QString> quality = m_store.GetString(HKEY_LOCAL_MACHINE, kProductKey, kQuality);
    const std::optional<qint64> qualityNumber = quality ? number(*quality) : std::nullopt;
    v.quality = qualityNumber && *qualityNumber >= 0 && *qualityNumber <= 100 ? *quality : kHundred;

    v.systray = StoredText::flag(read("Systray"));
    v.motion = StoredText::flag(read("Motion"));
    v.autostart = StoredText::flag(read("Autostart"));
    v.min = StoredText::flag(read("Min"));
    v.print = StoredText::flag(read("Print"));
    v.suc = StoredText::flag(read("Suc"));
    v.sound = StoredText::flag(read("Sound"));
    v.close = StoredText::flag(read("Close"));
    v.ask = StoredText::flag(read("Ask"));
    v.keep = StoredText::flag(read("Keep"));
    const std::optional<QString> notify = read("Notify");
    v.notify = !notify || StoredText::flag(notify);

    v.bgPic = read("BGPic").value_or(QString());
    v.textTimeName = read("TextTimeName").value_or(QString());
    // The sound delay is held by a spin control from 0 to 10 that starts at 0.
    if (const std::optional<QString> delay = read("SoundSec")) {
        const std::optional<qint64> seconds = number(*delay);
        if (!seconds)
            v.soundSec = QStringLiteral("0");
        else if (*seconds < 0)
            v.soundSec = QStringLiteral("0");
        else if (*seconds > 10)
            v.soundSec = QStringLiteral("10");
        else
            v.soundSec = *delay;
    } else {
        v.soundSec.clear();
    }
    v.soundSrc = read("SoundSrc").value_or(QString());
    v.closeCount = read("Close#").value_or(QString());

    const std::optional<QString> color = read("ProgramBGColor");
    v.bgColor = color ? StoredText::color(*color) : std::nullopt;
}

const ProgramOptions::Values& ProgramOptions::values() const
{
    if (!m_loaded)
        load();
    return m_values;
}

ProgramOptions::Values& ProgramOptions::edit()
{
    if (!m_loaded)
        load();
    return m_values;
}

template <typename T> void ProgramOptions::set(T Values::*field, const T& value)
{
    Values& v = edit();
    if (v.*field == value)
        return;
    v.*field = value;
    emit changed();
}

bool ProgramOptions::min() const
{
    return values().min;
}
bool ProgramOptions::systray() const
{
    return values().systray;
}
bool ProgramOptions::autostart() const
{
    return values().autostart;
}
bool ProgramOptions::close() const
{
    return values().close;
}
QString ProgramOptions::closeCount() const
{
    return values().closeCount;
}
bool ProgramOptions::keep() const
{
    return values().keep;
}
bool ProgramOptions::suc() const
{
    return values().suc;
}
bool ProgramOptions::print() const
{
    return values().print;
}
bool ProgramOptions::motion() const
{
    return values().motion;
}
bool ProgramOptions::ask() const
{
    return values().ask;
}
bool ProgramOptions::sound() const
{
    return values().sound;
}
bool ProgramOptions::notify() const
{
    return values().notify;
}
QString ProgramOptions::soundSec() const
{
    return values().soundSec;
}
QString ProgramOptions::soundSrc() const
{
    return values().soundSrc;
}
QString ProgramOptions::textTimeName() const
{
    return values().textTimeName;
}
QString ProgramOptions::timeFileName() const
{
    // The stored text stays as it is (empty) until the person types a name.
    const QString name = values().textTimeName;
    return name.trimmed().isEmpty() ? kDefaultTimeFileName : name;
}
QString ProgramOptions::quality() const
{
    return values().quality;
}
QString ProgramOptions::bgPic() const
{
    return values().bgPic;
}
std::optional<quint32> ProgramOptions::bgColor() const
{
    return values().bgColor;
}

int ProgramOptions::jpegQuality()
{
    const std::optional<qint64> value = number(quality());
    if (!value) {
        set(&Values::quality, kHundred);
        return 100;
    }
    return static_cast<int>(std::clamp<qint64>(*value, 0, 100));
}

void ProgramOptions::setMin(bool value)
{
    set(&Values::min, value);
}
void ProgramOptions::setSystray(bool value)
{
    set(&Values::systray, value);
}
void ProgramOptions::setAutostart(bool value)
{
    set(&Values::autostart, value);
}
void ProgramOptions::setClose(bool value)
{
    set(&Values::close, value);
}
void ProgramOptions::setCloseCount(const QString& text)
{
    set(&Values::closeCount, text);
}
void ProgramOptions::setKeep(bool value)
{
    set(&Values::keep, value);
}
void ProgramOptions::setSuc(bool value)
{
    set(&Values::suc, value);
}
void ProgramOptions::setPrint(bool value)
{
    set(&Values::print, value);
}
void ProgramOptions::setMotion(bool value)
{
    set(&Values::motion, value);
}
void ProgramOptions::setAsk(bool value)
{
    set(&Values::ask, value);
}
void ProgramOptions::setSound(bool value)
{
    set(&Values::sound, value);
}
void ProgramOptions::setNotify(bool value)
{
    set(&Values::notify, value);
}
void ProgramOptions::setSoundSec(const QString& text)
{
    set(&Values::soundSec, text);
}
void ProgramOptions::setSoundSrc(const QString& text)
{
    set(&Values::soundSrc, text);
}
void ProgramOptions::setTextTimeName(const QString& text)
{
    set(&Values::textTimeName, text);
}
void ProgramOptions::setQuality(const QString& text)
{
    set(&Values::quality, text);
}
void ProgramOptions::setBgPic(const QString& text)
{
    set(&Values::bgPic, text);
}
void ProgramOptions::setBgColor(quint32 color)
{
    set(&Values::bgColor, std::optional<quint32>(color & 0xFFFFFF));
}

QString ProgramOptions::storeAll(const AutostartEntry::Command& autostart)
{
    const Values& v = values();
    bool saved = true;
    const auto save = [this, &saved](const QString& name, const QString& text) {
        saved = m_store.SaveString(HKEY_LOCAL_MACHINE, kProductKey, name, text) && saved;
    };
    const auto flag = [&save](const char* name, bool set) {
        save(QLatin1String(name), StoredText::flagText(set));
    };
    flag("Min", v.min);
    flag("Motion", v.motion);
    flag("Print", v.print);
    flag("Suc", v.suc);
    flag("Systray", v.systray);
    flag("Sound", v.sound);
    flag("Close", v.close);
    flag("Ask", v.ask);
    flag("Keep", v.keep);
    flag("Autostart", v.autostart);
    flag("Notify", v.notify);

    const bool entryOk = v.autostart ? AutostartEntry::write(autostart) : AutostartEntry::remove();

    save(kQuality, v.quality);
    save(QStringLiteral("BGPic"), v.bgPic);
    save(QStringLiteral("TextTimeName"), v.textTimeName);
    save(QStringLiteral("SoundSec"), v.soundSec);
    save(QStringLiteral("SoundSrc"), v.soundSrc);
    save(QStringLiteral("Close#"), v.closeCount);
    // A colour nobody chose is not stored: the window stays white rather than turning black.
    if (v.bgColor)
        save(QStringLiteral("ProgramBGColor"), QString::number(*v.bgColor));

    QStringList problems;
    if (!saved)
        problems << QStringLiteral("The options could not be saved: %1.").arg(m_store.writeProblem());
    if (!entryOk)
        problems << QStringLiteral("The autostart entry %1 could not be %2.")
                        .arg(AutostartEntry::path(),
                             v.autostart ? QStringLiteral("written") : QStringLiteral("removed"));
    return problems.join(QLatin1Char('\n'));
}
