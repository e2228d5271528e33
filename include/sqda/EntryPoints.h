// The two functions a host resolves in libsqda.so.
//
// operatorCode is a short string: a length byte followed by that many bytes of
// UTF-8 text (at most 255 bytes). The library copies it before use.
#pragma once

#include "ICoorDisp.h"

class QWidget;

extern "C" {
typedef void (*GetFormOneFn)(QWidget *appWindow, QWidget *hostControl, const unsigned char *operatorCode,
    QWidget *parentControl, sqda::ICoorDisp *dataService);
typedef GetFormOneFn GetFormOneSearchFn;
}

namespace sqda {
// Builds the length-prefixed operator code the entry points take.
inline QByteArray toShortString(const QByteArray &utf8)
{
    QByteArray s = utf8.left(255);
    s.prepend(char(quint8(s.size())));
    return s;
}
} // namespace sqda
