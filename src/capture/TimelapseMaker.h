#pragma once

#include "common/Result.h"

#include <QObject>
#include <QSize>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>
#include <thread>

class UiMailbox;

// Makes a WebM movie (VP8, which every browser plays in a web page's video element) of JPEG
// pictures, one after the other in the order given, at a fixed rate. The work runs on a thread of
// its own at a low priority, and the pictures are pushed through the decoder and the encoder on
// that thread one at a time: only one picture is in memory, however many there are. The movie
// has the size of the first readable picture (an odd side one pixel less, as the encoder needs);
// pictures of another size are scaled into it with borders. A file that is no readable JPEG is
// skipped and counted. The movie is written under a temporary name in the target's folder and
// renamed when it is complete: a stop or a failure leaves nothing under the target's name.
class TimelapseMaker final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TimelapseMaker)

public:
    static constexpr int kMinRate = 1;
    static constexpr int kMaxRate = 60;

    struct Job
    {
        QStringList pictures;
        int framesPerSecond = 25;
        QString target;
    };
    struct Outcome
    {
        bool made = false;
        int frames = 0;  // pictures in the movie
        int skipped = 0; // files that were no readable picture
        QSize size;
        QString error; // why no movie was made; "stopped" after stop()
    };

    explicit TimelapseMaker(QObject* parent = nullptr);
    // Stops a running job and waits for its thread, which ends after the picture at hand.
    ~TimelapseMaker() override;

    // Starts making the movie and returns at once; finished follows, on this object's thread.
    // Refused while a movie is being made, without pictures, or at a rate out of range.
    [[nodiscard]] Result<void> start(const Job& job);
    // Asks the running job to end after the picture at hand (a few milliseconds); finished follows
    // with "stopped" and the temporary file removed.
    void stop();
    bool isRunning() const { return m_running; }

    // ".<name>.part" in the target's folder.
    static QString partName(const QString& target);

signals:
    void progress(int done, int total);
    void finished(const TimelapseMaker::Outcome& outcome);

private:
    struct Shared;
    static Outcome make(const Job& job, Shared& shared);
    void join();

    std::shared_ptr<UiMailbox> m_mailbox;
    std::shared_ptr<Shared> m_shared;
    std::thread m_thread;
    bool m_running = false;
};

Q_DECLARE_METATYPE(TimelapseMaker::Outcome)
