// oggmux: the audio decoder's test streams that an encoder never writes, made from the ones
// the build encodes. It works on whole pages with libogg, and on packets where pages have
// to be cut differently; the Vorbis packets themselves are never touched, so a reference
// decoder's output of the result is known from the input's. Every output is the same on
// every run: no clock, no random serial number.
//
//   oggmux pages IN.ogg                 every page: offset, size, serial, sequence, flags,
//                                       granule position, packets ended; trailing bytes
//   oggmux repage IN.ogg N OUT.ogg      the audio packets of each link N to a page (the
//                                       header pages kept as they are), each page ending
//                                       at the granule position its last packet completes
//   oggmux mux IN.ogg OUT.ogg           IN's one logical stream multiplexed with a made-up
//                                       stream that starts first, as a skeleton track does:
//                                       its BOS page, IN's BOS page, then one small page of
//                                       it after each of IN's pages; it ends (EOS) before IN
//   oggmux shift-granules IN.ogg FRAMES OUT.ogg
//                                       every audio page's granule position lowered by
//                                       FRAMES (the header pages keep 0), checksums set
//                                       again: the stream asks for FRAMES frames to be
//                                       dropped at its start. FRAMES must be fewer than the
//                                       first audio page completes
//   oggmux cut-inside-link IN.ogg LINK OUT.ogg
//                                       IN up to the middle of the second audio page of
//                                       link LINK (from 1), which must have two; prints the
//                                       length it kept
//   oggmux split-links IN.ogg PREFIX    each link of IN as PREFIX.N.ogg (N from 1), the
//                                       last with IN's trailing bytes: a reference decoder
//                                       that refuses a chain whose links differ decodes
//                                       them one by one
#include <ogg/ogg.h>
#include <vorbis/codec.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <cstddef>
#include <string>
#include <vector>

namespace {

constexpr size_t kGranuleOffset = 6;  // the granule position in a page header, 64 bits little-endian
constexpr int kOtherSerial = 0x4f746872;  // the made-up stream's serial number ("Othr")
constexpr size_t kFisheadSize = 64;        // a skeleton 3.0 header packet
constexpr uint16_t kFisheadMajor = 3;

// One page as it stands in the file.
struct Page {
    size_t offset = 0;
    std::vector<unsigned char> header, body;

    // libogg reads pages through pointers to writable bytes; only SetGranule writes.
    ogg_page View() const {
        return ogg_page{const_cast<unsigned char*>(header.data()), static_cast<long>(header.size()),
                        const_cast<unsigned char*>(body.data()), static_cast<long>(body.size())};
    }
    size_t Size() const { return header.size() + body.size(); }
    int Serial() const { ogg_page og = View(); return ogg_page_serialno(&og); }
    long Sequence() const { ogg_page og = View(); return ogg_page_pageno(&og); }
    int64_t Granule() const { ogg_page og = View(); return ogg_page_granulepos(&og); }
    bool Bos() const { ogg_page og = View(); return ogg_page_bos(&og) != 0; }
    bool Eos() const { ogg_page og = View(); return ogg_page_eos(&og) != 0; }
    bool Continued() const { ogg_page og = View(); return ogg_page_continued(&og) != 0; }
    int Packets() const { ogg_page og = View(); return ogg_page_packets(&og); }
};

struct Stream {
    std::vector<Page> pages;
    size_t trailing = 0;  // bytes after the last whole page (a cut stream)
};

Page Copy(const ogg_page& og, size_t offset) {
    Page page;
    page.offset = offset;
    page.header.assign(og.header, og.header + og.header_len);
    page.body.assign(og.body, og.body + og.body_len);
    return page;
}

bool ReadFile(const char* path, std::vector<unsigned char>& bytes) {
    FILE* f = fopen(path, "rb");
    if (!f) {
        fprintf(stderr, "oggmux: cannot read %s\n", path);
        return false;
    }
    unsigned char chunk[65536];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, f)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
    const bool ok = ferror(f) == 0;
    fclose(f);
    return ok;
}

// The pages of a file with nothing between them: a gap would mean the file is not what the
// build made, and the offsets printed would be wrong.
bool ReadPages(const char* path, Stream& stream) {
    std::vector<unsigned char> bytes;
    if (!ReadFile(path, bytes)) return false;
    ogg_sync_state sync;
    ogg_sync_init(&sync);
    char* buffer = ogg_sync_buffer(&sync, static_cast<long>(bytes.size()));
    if (!bytes.empty()) memcpy(buffer, bytes.data(), bytes.size());
    ogg_sync_wrote(&sync, static_cast<long>(bytes.size()));
    size_t offset = 0;
    ogg_page og;
    int result;
    while ((result = ogg_sync_pageout(&sync, &og)) == 1) {
        stream.pages.push_back(Copy(og, offset));
        offset += stream.pages.back().Size();
    }
    ogg_sync_clear(&sync);
    if (result < 0) {
        fprintf(stderr, "oggmux: %s has no page at byte %zu\n", path, offset);
        return false;
    }
    stream.trailing = bytes.size() - offset;
    return true;
}

bool WriteBytes(const char* path, const std::vector<Page>& pages, size_t limit = SIZE_MAX) {
    std::vector<unsigned char> bytes;
    for (const Page& page : pages) {
        bytes.insert(bytes.end(), page.header.begin(), page.header.end());
        bytes.insert(bytes.end(), page.body.begin(), page.body.end());
    }
    if (limit < bytes.size()) bytes.resize(limit);
    FILE* f = fopen(path, "wb");
    if (!f) {
        fprintf(stderr, "oggmux: cannot write %s\n", path);
        return false;
    }
    const bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

// A link begins at a BOS page that follows a page of no BOS: chained streams start again
// with their own headers.
std::vector<std::vector<Page>> Links(const std::vector<Page>& pages) {
    std::vector<std::vector<Page>> links;
    for (size_t i = 0; i < pages.size(); ++i) {
        if (links.empty() || (pages[i].Bos() && !pages[i - 1].Bos())) links.emplace_back();
        links.back().push_back(pages[i]);
    }
    return links;
}

// The header pages of a Vorbis link end no audio packet, so they carry granule position 0;
// the encoder starts the audio on a page of its own.
bool IsAudioPage(const Page& page) { return page.Granule() > 0; }

int Pages(const char* in) {
    Stream stream;
    if (!ReadPages(in, stream)) return 1;
    printf("offset size serial sequence flags granule packets\n");
    for (const Page& page : stream.pages)
        printf("%zu %zu %08x %ld %s%s%s %lld %d\n", page.offset, page.Size(), static_cast<unsigned>(page.Serial()),
               page.Sequence(), page.Bos() ? "b" : "-", page.Eos() ? "e" : "-", page.Continued() ? "c" : "-",
               static_cast<long long>(page.Granule()), page.Packets());
    if (stream.trailing) printf("trailing %zu\n", stream.trailing);
    return 0;
}

// The packets of one link, in order, with the granule position of the page that ends them
// on each page's last packet (-1 on the others).
bool LinkPackets(const std::vector<Page>& link, std::vector<std::vector<unsigned char>>& packets,
                 std::vector<ogg_int64_t>& granules) {
    ogg_stream_state os;
    ogg_stream_init(&os, link.front().Serial());
    bool ok = true;
    for (const Page& page : link) {
        ogg_page og = page.View();
        if (ogg_stream_pagein(&os, &og) != 0) ok = false;
        ogg_packet op;
        int result;
        while ((result = ogg_stream_packetout(&os, &op)) != 0) {
            if (result < 0) {
                ok = false;
                continue;
            }
            packets.emplace_back(op.packet, op.packet + op.bytes);
            granules.push_back(op.granulepos);
        }
    }
    ogg_stream_clear(&os);
    if (!ok) fprintf(stderr, "oggmux: a link of serial %08x has a gap\n", static_cast<unsigned>(link.front().Serial()));
    return ok;
}

ogg_packet Packet(std::vector<unsigned char>& bytes, ogg_int64_t granule, ogg_int64_t number, bool bos, bool eos) {
    ogg_packet op{};
    op.packet = bytes.data();
    op.bytes = static_cast<long>(bytes.size());
    op.b_o_s = bos;
    op.e_o_s = eos;
    op.granulepos = granule;
    op.packetno = number;
    return op;
}

void FlushPages(ogg_stream_state& os, std::vector<Page>& out) {
    ogg_page og;
    while (ogg_stream_flush(&os, &og) != 0) out.push_back(Copy(og, 0));
}

// What each audio packet completes: the Vorbis block sizes say it (a packet finishes the
// overlap of its block with the one before), so the granule position of any packet is the
// running sum. The encoder's pages say it at their ends; a page that disagrees means the
// link does not start at 0 or is not Vorbis, and repaging it would lie.
bool AudioGranules(const std::vector<std::vector<unsigned char>>& packets, const std::vector<ogg_int64_t>& pageGranules,
                   std::vector<ogg_int64_t>& granules) {
    vorbis_info vi;
    vorbis_comment vc;
    vorbis_info_init(&vi);
    vorbis_comment_init(&vc);
    bool ok = packets.size() > 3;
    std::vector<std::vector<unsigned char>> copies = packets;
    for (size_t i = 0; ok && i < 3; ++i) {
        ogg_packet op = Packet(copies[i], 0, static_cast<ogg_int64_t>(i), i == 0, false);
        ok = vorbis_synthesis_headerin(&vi, &vc, &op) == 0;
    }
    long previous = 0;
    ogg_int64_t sum = 0;
    for (size_t i = 3; ok && i < packets.size(); ++i) {
        ogg_packet op = Packet(copies[i], -1, static_cast<ogg_int64_t>(i), false, false);
        const long size = vorbis_packet_blocksize(&vi, &op);
        ok = size > 0;
        if (previous) sum += previous / 4 + size / 4;
        previous = size;
        const bool last = i + 1 == packets.size();
        // The last page may end short of the last block: that is where the stream ends.
        if (pageGranules[i] != -1 && (last ? pageGranules[i] > sum : pageGranules[i] != sum)) ok = false;
        granules.push_back(last ? pageGranules[i] : sum);
    }
    vorbis_comment_clear(&vc);
    vorbis_info_clear(&vi);
    if (!ok) fprintf(stderr, "oggmux: the audio packets' block sizes do not add up to the pages' granule positions\n");
    return ok;
}

bool RepageLink(const std::vector<Page>& link, int perPage, std::vector<Page>& out) {
    std::vector<std::vector<unsigned char>> packets;
    std::vector<ogg_int64_t> pageGranules, granules;
    if (!LinkPackets(link, packets, pageGranules) || !AudioGranules(packets, pageGranules, granules)) return false;
    size_t headerPages = 0;
    while (headerPages < link.size() && !IsAudioPage(link[headerPages])) out.push_back(link[headerPages++]);
    if (headerPages == link.size() || link[headerPages].Continued()) {
        fprintf(stderr, "oggmux: the audio does not start on a page of its own\n");
        return false;
    }
    ogg_stream_state os;
    ogg_stream_init(&os, link.front().Serial());
    // The link's BOS page is already written: the stream continues after its header pages.
    os.b_o_s = 1;
    os.pageno = link[headerPages].Sequence();
    os.packetno = 3;
    for (size_t i = 3; i < packets.size(); ++i) {
        ogg_packet op = Packet(packets[i], granules[i - 3], static_cast<ogg_int64_t>(i), false, i + 1 == packets.size());
        ogg_stream_packetin(&os, &op);
        if ((i - 2) % static_cast<size_t>(perPage) == 0) FlushPages(os, out);
    }
    FlushPages(os, out);
    ogg_stream_clear(&os);
    return true;
}

int Repage(const char* in, const char* count, const char* outPath) {
    const int perPage = atoi(count);
    // One packet a page would give the first audio page granule position 0 (the first
    // block completes nothing), and it would pass for a header page.
    if (perPage < 2 || perPage > 255) {
        fprintf(stderr, "oggmux: packets a page must be 2 to 255\n");
        return 2;
    }
    Stream stream;
    if (!ReadPages(in, stream)) return 1;
    std::vector<Page> out;
    for (const std::vector<Page>& link : Links(stream.pages))
        if (!RepageLink(link, perPage, out)) return 1;
    return WriteBytes(outPath, out) ? 0 : 1;
}

// One logical stream, whole: the commands that rewrite one would otherwise mix the pages of
// several.
bool OneStream(const Stream& stream, const char* path) {
    bool ok = stream.pages.size() >= 2 && stream.trailing == 0 && stream.pages.front().Bos() && stream.pages.back().Eos();
    for (const Page& page : stream.pages) ok = ok && page.Serial() == stream.pages.front().Serial();
    if (!ok) fprintf(stderr, "oggmux: %s is not one whole logical stream\n", path);
    return ok;
}

void PutLittle(std::vector<unsigned char>& out, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

// The made-up stream's first packet, laid out as a skeleton 3.0 header: its name, the
// version, presentation and base times of 0/1000 s, and no UTC time.
std::vector<unsigned char> Fishead() {
    const char name[8] = {'f', 'i', 's', 'h', 'e', 'a', 'd', '\0'};
    std::vector<unsigned char> out(name, name + sizeof name);
    PutLittle(out, kFisheadMajor, 2);
    PutLittle(out, 0, 2);
    for (int time = 0; time < 2; ++time) {
        PutLittle(out, 0, 8);
        PutLittle(out, 1000, 8);
    }
    out.resize(kFisheadSize, 0);
    return out;
}

// A data packet of the made-up stream: a line of text no decoder knows.
std::vector<unsigned char> SideData(size_t index) {
    const std::string text = "corvane side data " + std::to_string(index) + "\n";
    return std::vector<unsigned char>(text.begin(), text.end());
}

int Mux(const char* in, const char* outPath) {
    Stream stream;
    if (!ReadPages(in, stream) || !OneStream(stream, in)) return 1;
    const std::vector<Page>& audio = stream.pages;
    const int serial = audio.front().Serial() == kOtherSerial ? kOtherSerial + 1 : kOtherSerial;
    ogg_stream_state os;
    ogg_stream_init(&os, serial);
    std::vector<Page> out;
    std::vector<unsigned char> head = Fishead();
    ogg_packet bos = Packet(head, 0, 0, true, false);
    ogg_stream_packetin(&os, &bos);
    FlushPages(os, out);
    for (size_t i = 0; i < audio.size(); ++i) {
        out.push_back(audio[i]);
        if (i + 1 == audio.size()) break;
        std::vector<unsigned char> data = SideData(i + 1);
        ogg_packet op = Packet(data, static_cast<ogg_int64_t>(i + 1), static_cast<ogg_int64_t>(i + 1), false, i + 2 == audio.size());
        ogg_stream_packetin(&os, &op);
        FlushPages(os, out);
    }
    ogg_stream_clear(&os);
    return WriteBytes(outPath, out) ? 0 : 1;
}

void SetGranule(Page& page, int64_t granule) {
    for (size_t i = 0; i < 8; ++i)
        page.header[kGranuleOffset + i] = static_cast<unsigned char>(static_cast<uint64_t>(granule) >> (8 * i));
    ogg_page og = page.View();
    ogg_page_checksum_set(&og);
}

int ShiftGranules(const char* in, const char* count, const char* outPath) {
    Stream stream;
    if (!ReadPages(in, stream) || !OneStream(stream, in)) return 1;
    const int64_t frames = atoll(count);
    size_t first = 0;
    while (first < stream.pages.size() && !IsAudioPage(stream.pages[first])) ++first;
    // Fewer frames than the first audio page completes: more would ask for a page's audio
    // to be dropped before it was decoded, and a page that is the stream's last as well is
    // cut at its end, not its start.
    if (first + 1 >= stream.pages.size() || frames <= 0 || frames >= stream.pages[first].Granule()) {
        fprintf(stderr, "oggmux: %s: %lld frames is not fewer than the first of two or more audio pages completes\n", in,
                static_cast<long long>(frames));
        return 1;
    }
    for (Page& page : stream.pages)
        if (IsAudioPage(page)) SetGranule(page, page.Granule() - frames);
    printf("first audio page: sequence %ld, granule %lld\n", stream.pages[first].Sequence(),
           static_cast<long long>(stream.pages[first].Granule()));
    return WriteBytes(outPath, stream.pages) ? 0 : 1;
}

int CutInsideLink(const char* in, const char* number, const char* outPath) {
    Stream stream;
    if (!ReadPages(in, stream)) return 1;
    const std::vector<std::vector<Page>> links = Links(stream.pages);
    const size_t wanted = static_cast<size_t>(atoi(number));
    if (wanted < 1 || wanted > links.size()) {
        fprintf(stderr, "oggmux: %s has no link %s\n", in, number);
        return 1;
    }
    const std::vector<Page>& link = links[wanted - 1];
    size_t audioPages = 0;
    for (const Page& page : link) {
        if (!IsAudioPage(page) || ++audioPages < 2) continue;
        const size_t cut = page.offset + page.Size() / 2;
        printf("cut at byte %zu, inside page %ld of serial %08x (bytes %zu to %zu)\n", cut, page.Sequence(),
               static_cast<unsigned>(page.Serial()), page.offset, page.offset + page.Size());
        return WriteBytes(outPath, stream.pages, cut) ? 0 : 1;
    }
    fprintf(stderr, "oggmux: link %s of %s has fewer than two audio pages\n", number, in);
    return 1;
}

int SplitLinks(const char* in, const char* prefix) {
    std::vector<unsigned char> bytes;
    Stream stream;
    if (!ReadFile(in, bytes) || !ReadPages(in, stream)) return 1;
    const std::vector<std::vector<Page>> links = Links(stream.pages);
    for (size_t i = 0; i < links.size(); ++i) {
        const size_t begin = links[i].front().offset;
        const size_t end = i + 1 < links.size() ? links[i + 1].front().offset : bytes.size();
        const std::string path = std::string(prefix) + "." + std::to_string(i + 1) + ".ogg";
        Page whole;
        whole.body.assign(bytes.begin() + static_cast<std::ptrdiff_t>(begin), bytes.begin() + static_cast<std::ptrdiff_t>(end));
        if (!WriteBytes(path.c_str(), {whole})) return 1;
    }
    return 0;
}

int Usage() {
    fprintf(stderr,
            "usage: oggmux pages IN.ogg | oggmux repage IN.ogg PACKETS OUT.ogg | oggmux mux IN.ogg OUT.ogg\n"
            "       oggmux shift-granules IN.ogg FRAMES OUT.ogg | oggmux cut-inside-link IN.ogg LINK OUT.ogg\n"
            "       oggmux split-links IN.ogg PREFIX\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (argc == 3 && command == "pages") return Pages(argv[2]);
    if (argc == 5 && command == "repage") return Repage(argv[2], argv[3], argv[4]);
    if (argc == 4 && command == "mux") return Mux(argv[2], argv[3]);
    if (argc == 5 && command == "shift-granules") return ShiftGranules(argv[2], argv[3], argv[4]);
    if (argc == 5 && command == "cut-inside-link") return CutInsideLink(argv[2], argv[3], argv[4]);
    if (argc == 4 && command == "split-links") return SplitLinks(argv[2], argv[3]);
    return Usage();
}
