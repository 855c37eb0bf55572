#pragma once
// Factories of the container parsers beyond MP3 (one file each): ADTS AAC, MP4/M4A, WAV,
// AIFF/AIFC and CAF. What each publishes:
//
// - 'dfmt', 'doff' (the offset of the first audio byte), 'bcnt' (bytes of audio from 'doff' on,
//   when the file says), 'pcnt' (packets, when known), 'pkub' (largest packet, for compressed
//   formats), then 'redy' before the first packets;
// - for MPEG-4 audio, 'flst' (richest format first: 'aacp', 'aach', 'aac ') and 'mgic', the
//   codec configuration as the decoder takes it: the AudioSpecificConfig for AAC, the 36-byte
//   'alac' atom for Apple Lossless.
//
// Linear PCM comes without packet descriptions; compressed audio packet by packet with them.
// Seeks are exact for the container formats (from the sample or packet table, or the frame size)
// and for ADTS frames already parsed; other ADTS seeks are estimates.
//
// Threads: a parser is driven by one thread (its AudioFileStream's).

#include <memory>

#include "platform/audiotoolbox/streamformat.h"

namespace tonvera {

std::unique_ptr<StreamFormatParser> makeAdtsStreamParser(StreamFormatParser::Output& output);
// M4A ('m4af') and MP4 ('mp4f'): the same parser; they differ only in the 'ffmt' they publish.
std::unique_ptr<StreamFormatParser> makeMp4StreamParser(StreamFormatParser::Output& output);
std::unique_ptr<StreamFormatParser> makeMpeg4StreamParser(StreamFormatParser::Output& output);
std::unique_ptr<StreamFormatParser> makeWavStreamParser(StreamFormatParser::Output& output);
std::unique_ptr<StreamFormatParser> makeAiffStreamParser(StreamFormatParser::Output& output);
std::unique_ptr<StreamFormatParser> makeCafStreamParser(StreamFormatParser::Output& output);
// PURE (purestreamparser.cpp tells what it publishes and how it seeks).
std::unique_ptr<StreamFormatParser> makePureStreamParser(StreamFormatParser::Output& output);

}  // namespace tonvera
