#include "tools/RarWriter.h"

#include "Core/Crc32.h"

#include <cstring>

namespace {

constexpr u8 kSignature[7] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
constexpr std::size_t kFileHeaderSize = 32;
constexpr u16 kDirectoryFlags = 0x00E0;
constexpr u32 kDirectoryAttr = 0x10;

void Put16(std::vector<u8>& out, u32 v) {
    out.push_back(u8(v));
    out.push_back(u8(v >> 8));
}

void Put32(std::vector<u8>& out, u32 v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(u8(v >> (8 * i)));
}

std::string ToBackSlashes(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (c == '/')
            c = '\\';
    return out;
}

} // namespace

RarWriter::RarWriter(u16 mainFlags) {
    bytes_.assign(kSignature, kSignature + sizeof kSignature);
    const std::size_t start = bytes_.size();
    Put16(bytes_, 0);        // HEAD_CRC, sealed below
    bytes_.push_back(0x73);  // main header
    Put16(bytes_, mainFlags);
    Put16(bytes_, 13);
    Put16(bytes_, 0);
    Put32(bytes_, 0);
    SealHeader(bytes_.data() + start);
}

void RarWriter::SetPrefix(const std::string& prefix) {
    prefix_ = ToBackSlashes(prefix);
    if (!prefix_.empty() && prefix_.back() != '\\')
        prefix_ += '\\';
}

std::string RarWriter::ArchiveName(const std::string& name) const {
    std::string path = ToBackSlashes(name);
    std::size_t lead = 0;
    while (lead < path.size() && path[lead] == '\\')
        ++lead;
    while (!path.empty() && path.size() > lead && path.back() == '\\')
        path.pop_back();
    return prefix_ + path.substr(lead);
}

bool RarWriter::Fits(std::size_t more) const {
    return more <= 0xFFFFFFFFu && bytes_.size() <= 0xFFFFFFFFu - more;
}

bool RarWriter::AddFile(const std::string& name, const void* data, std::size_t size) {
    if (size > 0xFFFFFFFFu || (data == nullptr && size != 0))
        return false;
    RarFileFields fields;
    fields.name = ArchiveName(name);
    fields.packSize = u32(size);
    fields.unpSize = u32(size);
    fields.fileCrc = Crc32::Compute(data, size);
    if (fields.name.empty() || fields.name.size() > kMaxName || fields.name.back() == '\\' ||
        fields.name.find('\0') != std::string::npos)
        return false;
    return AddFileBlock(fields, data, size);
}

bool RarWriter::AddDirectory(const std::string& name) {
    RarFileFields fields;
    fields.name = ArchiveName(name);
    fields.flags = u16(fields.flags | kDirectoryFlags);
    fields.attr = kDirectoryAttr;
    if (fields.name.empty() || fields.name.size() > kMaxName || fields.name.back() == '\\' ||
        fields.name.find('\0') != std::string::npos)
        return false;
    return AddFileBlock(fields, nullptr, 0);
}

bool RarWriter::AddFileBlock(const RarFileFields& f, const void* data, std::size_t dataSize) {
    const std::size_t headSize = kFileHeaderSize + f.name.size();
    if (headSize > 0xFFFF || (data == nullptr && dataSize != 0) || dataSize > 0xFFFFFFFFu ||
        !Fits(headSize) || !Fits(headSize + dataSize))
        return false;
    const std::size_t start = bytes_.size();
    Put16(bytes_, 0);
    bytes_.push_back(0x74);
    Put16(bytes_, f.flags);
    Put16(bytes_, u32(headSize));
    Put32(bytes_, f.packSize);
    Put32(bytes_, f.unpSize);
    bytes_.push_back(f.hostOs);
    Put32(bytes_, f.fileCrc);
    Put32(bytes_, f.fileTime);
    bytes_.push_back(f.unpVer);
    bytes_.push_back(f.method);
    Put16(bytes_, u32(f.name.size()));
    Put32(bytes_, f.attr);
    bytes_.insert(bytes_.end(), f.name.begin(), f.name.end());
    SealHeader(bytes_.data() + start);
    if (dataSize != 0) {
        const u8* from = static_cast<const u8*>(data);
        bytes_.insert(bytes_.end(), from, from + dataSize);
    }
    return true;
}

void RarWriter::AddEndBlock() {
    const std::size_t start = bytes_.size();
    Put16(bytes_, 0);
    bytes_.push_back(0x7B);
    Put16(bytes_, 0x4000);
    Put16(bytes_, 7);
    SealHeader(bytes_.data() + start);
}

void RarWriter::SealHeader(u8* block) {
    const u32 headSize = u32(block[5] | (block[6] << 8));
    const u32 crc = headSize > 2 ? Crc32::Compute(block + 2, headSize - 2) : Crc32::Compute(nullptr, 0);
    block[0] = u8(crc);
    block[1] = u8(crc >> 8);
}
