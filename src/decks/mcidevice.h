#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>

class AudioEngine;
class Cart;

// The media control through which carts are measured and played: MMControl1 plays the
// decks, MMPreview measures a cart when it is loaded (and so prepares it for an instant
// start). It keeps the classic media-control surface: string commands, a numeric mode,
// length and position in milliseconds and a periodic StatusUpdate.
//
// UI thread only. No call blocks on the disk or on a decoder: "Open" of a prepared cart
// takes its length from the cart cache; "Open" of a file not measured yet leaves the device
// not ready (kModeNotReady, Length 0) while the media engine measures it on another thread,
// and CartChanged reports the file once a new "Open" finds it measured; "Play" hands a
// voice to the output callback. Command results are never reported: a failed open leaves
// Length 0 and a Mode that is never kPlaying; ErrorMessage says why.
class MciDevice : public QObject {
    Q_OBJECT
public:
    static constexpr int kModeNotOpen = 0;    // closed, or open failed
    static constexpr int kModeNotReady = 524; // open on a file that is being measured
    static constexpr int kModeStopped = 525;
    static constexpr int kModePlaying = 526;

    explicit MciDevice(AudioEngine& engine, QObject* parent = nullptr);
    ~MciDevice() override;

    // "Open", "Close", "Play", "Stop", "Back". Unknown commands are ignored.
    void Command(const QString& command);

    void setTimeFormat(int format) { m_timeFormat = format; }
    int TimeFormat() const { return m_timeFormat; }
    void setNotify(bool notify) { m_notify = notify; }
    bool Notify() const { return m_notify; }
    void setWait(bool wait) { m_wait = wait; }
    bool Wait() const { return m_wait; }
    void setShareable(bool shareable) { m_shareable = shareable; }
    bool Shareable() const { return m_shareable; }
    void setDeviceType(const QString& type) { m_deviceType = type; }
    QString DeviceType() const { return m_deviceType; }
    void setFileName(const QString& fileName) { m_fileName = fileName; }
    QString FileName() const { return m_fileName; }

    // 526 while what is heard is the open cart, 525 once it has played out or after
    // "Stop", 524 while the open file is being measured, 0 when closed or when nothing
    // could be decoded.
    int Mode() const;
    // Milliseconds. Length is the cart's length when it was opened: a correction found
    // while it is open applies from the next "Open". Position follows what the output has
    // consumed, corrected by the device latency, from 0 to Length.
    qint32 Length() const;
    qint32 Position() const;
    // Why the last "Open" or "Play" failed: "" when it did not.
    QString ErrorMessage() const { return m_errorMessage; }

    // Keeps the cart at path armed to start on the frame after the last of the play now
    // running, with no silence between; "" disarms. A follower that has started plays on
    // until the next "Play" of its cart takes it up, or until "Play" of another cart or
    // Disarm silences it. Once the play has ended, nothing is armed any more.
    void ArmNext(const QString& path);
    void Disarm();
    // Whether a cart is armed to follow the play now running (or has already followed it):
    // no silence comes at its end.
    bool FollowerArmed() const;

    // The cart opened now (null when closed or not ready): holding it keeps its audio
    // playable even if its file is deleted.
    std::shared_ptr<Cart> cart() const;

    // StatusUpdate is raised every UpdateInterval ms while a device is open.
    void setUpdateInterval(int ms);
    int UpdateInterval() const { return m_updateInterval; }

signals:
    void StatusUpdate();
    void Done(int notifyCode);
    // The cart at path has been measured, or has a corrected length or a new file; a new
    // "Open" takes it up.
    void CartChanged(const QString& path);

private:
    struct Impl;

    AudioEngine& m_engine;
    std::unique_ptr<Impl> m_impl;
    QTimer m_statusTimer;
    int m_timeFormat = 0;
    bool m_notify = false;
    bool m_wait = true;
    bool m_shareable = false;
    QString m_deviceType = QStringLiteral("WaveAudio");
    QString m_fileName;
    QString m_errorMessage;
    int m_updateInterval = 0;
};
