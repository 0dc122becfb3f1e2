#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

// One control of a camera as the camera describes it now: a GenICam feature of an Aravis
// camera, a V4L2 control of a capture device.
struct QynCameraControl {
    enum class Type { Integer, Float, Enumeration, Boolean, Command, String };

    QString name;         // the camera's own name for it: "ExposureTime", "brightness"
    QString displayName;  // for people: "Exposure Time", "Brightness"
    QString description;
    QString unit;  // "us", "dB", or empty
    Type type = Type::Integer;
    bool readable = true;
    bool writable = true;
    // The camera offers it now; another setting can take it away (GenICam's pIsAvailable,
    // V4L2's inactive flag).
    bool available = true;
    // The camera refuses changes now, typically while it streams.
    bool locked = false;
    // A change reaches the frames only through stopping and restarting the stream: it
    // changes the frames' size or format, or the camera locks it while streaming.
    bool needsStreamStopped = false;

    qint64 intMin = 0;
    qint64 intMax = 0;
    qint64 intInc = 1;
    double floatMin = 0;
    double floatMax = 0;
    double floatInc = 0;  // 0: any value within the range
    qint64 maxLength = 0; // String: 0 for no limit
    QStringList entries;  // Enumeration: the entries the camera offers now

    // qint64 (Integer), double (Float), QString (Enumeration entry, String), bool
    // (Boolean); invalid when it could not be read, with the reason in readProblem.
    QVariant value;
    QString readProblem;

    bool editable() const { return writable && available; }
    // The value as the camera writes it in text: "5000", "12.5", "Mono8", "true".
    QString valueText() const;
};

// What a write or command came to. The message names the control and the camera's reason.
struct QynControlResult {
    enum class Problem {
        None,
        NoSuchControl,
        Unavailable,        // not offered now
        ReadOnly,
        WrongValue,         // not a number, not a truth value
        OutOfRange,
        NotMultiple,        // not on the increment's steps from the minimum
        NotOffered,         // an entry the enumeration does not offer now
        TooLong,            // a string longer than the control takes
        NeedsStreamStopped, // checked and valid; the stream must stop for it (locked, or frame size/format)
        Refused,            // the camera's own refusal, in its words
        NoAnswer,           // the camera does not answer (gone, or its connection failed)
    };
    Problem problem = Problem::None;
    QString message;
    bool ok() const { return problem == Problem::None; }
};
