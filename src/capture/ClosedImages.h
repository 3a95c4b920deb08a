#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>

// Whether a signal image reads as closed: its lit colour (the dominant saturated, bright hue of
// the picture) reads as danger. Each distinct texture path is read and decoded once, on the
// calling thread, with the bounded reading of the signal images' loader; the answer is kept by
// path. A file that is missing or unreadable for now is read again after retryAfterMs; at most
// maxPaths answers are kept (beyond, the table starts again).
class ClosedImages
{
public:
    static constexpr int maxPaths = 1024;
    static constexpr qint64 retryAfterMs = 10000;

    // 1 closed, 0 open or no clear lit colour, -1 the image could not be read.
    int closed(QByteArrayView path, qint64 nowMs);

private:
    struct Answer
    {
        int closed = -1;
        qint64 retryAtMs = -1; // -1: final
    };
    QHash<QByteArray, Answer> m_answers;
};
