#include "Core/UdfReader.h"

#include "Core/FileStream.h"
#include "Core/Stream.h"

#include <new>

UdfReader::~UdfReader() {
    UdfReader::Close();
    types.Clear();
}

bool UdfReader::Close() {
    if (stream) {
        stream->Close();
        if (ownsStream) delete stream;
    }
    stream = nullptr;
    ownsStream = 0;
    delete root;
    root = nullptr;
    return true;
}

void UdfReader::ForgetNode(UdfNode*) {}

UdfNode* UdfReader::Open(Stream* source) {
    // A reader moved to another stream starts over: the old tree and stream go.
    if (stream && stream != source) Close();
    stream = source;
    ownsStream = 0;
    return OpenRoot();
}

UdfNode* UdfReader::OpenFile(const String& path) {
    FileStream* file = new (std::nothrow) FileStream;
    if (!file) return nullptr;
    if (!file->Open(path, kStreamRead)) {
        delete file;
        return nullptr;
    }
    UdfNode* opened = Open(file);
    if (!opened) {
        // Open closed the reader, which left the stream alone: it was not yet ours.
        delete file;
        return nullptr;
    }
    ownsStream = 1;
    return opened;
}
