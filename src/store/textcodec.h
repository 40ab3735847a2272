#pragma once

#include <QByteArrayView>
#include <QString>

// The two 8-bit encodings data arrives in: UTF-8, and Windows-1252 from the
// Windows program and from address books that write it.
namespace TextCodec {

// Well-formed UTF-8 as Unicode defines it: no overlong forms, no surrogates,
// nothing above U+10FFFF.
bool isUtf8(QByteArrayView bytes);

// Windows-1252; its five unassigned bytes become the C1 control of the same
// number, as Windows itself does.
QString fromWindows1252(QByteArrayView bytes);

} // namespace TextCodec
