#pragma once
// Text decoding for bytes that may come from files written on Windows through the
// 8-bit code page: valid UTF-8 is read as UTF-8, anything else as Windows-1252.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>

bool IsValidUtf8(QByteArrayView bytes);
QString DecodeCp1252(QByteArrayView bytes);
QString DecodeUtf8OrCp1252(QByteArrayView bytes);
// The same decided for each line on its own (a line ends after its LF): text pieced together
// from both kinds of file keeps its UTF-8 lines whole.
QString DecodeLinesUtf8OrCp1252(QByteArrayView bytes);
