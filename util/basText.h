#pragma once
// Text decoding for bytes that may come from files written on Windows through the
// 8-bit code page: valid UTF-8 is read as UTF-8, anything else as Windows-1252.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>

bool IsValidUtf8(QByteArrayView bytes);
QString DecodeCp1252(QByteArrayView bytes);
QString DecodeUtf8OrCp1252(QByteArrayView bytes);
