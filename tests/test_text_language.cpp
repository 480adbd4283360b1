// The data-description text language in both forms: the corpus under tests/data/text
// parsed node by node, every statement rule, includes through MemFile (disk and
// archive), and the inputs that must fail cleanly.
#include "Core/ArchiveStream.h"
#include "Core/FileStream.h"
#include "Core/MemFile.h"
#include "Core/MemoryBuffer.h"
#include "Core/Path.h"
#include "Core/String.h"
#include "Core/TextCodec.h"
#include "Core/TextData.h"
#include "Core/TextNode.h"
#include "Core/UdfText.h"
#include "Core/WString.h"
#include "tools/RarWriter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

fs::path DataDir() { return fs::path(CORVANE_TEST_DATA) / "text"; }

WString W(const std::string& utf8) {
    WString w;
    w.Decode(utf8.data(), static_cast<u32>(utf8.size()), kTextUtf8);
    return w;
}

std::string Utf8(const WString& w) {
    const u32 need = w.Encode(nullptr, 0, kTextUtf8);
    std::string out(need + 1, '\0');
    w.Encode(out.data(), need + 1, kTextUtf8);
    out.resize(need);
    return out;
}

// A node as one line: "O" for objects, "A" for arrays, "=value" when there is one, then
// the children in visiting order as {name<dump> ...}.
std::string Dump(const TextDataTree& tree);
std::string Dump(const TextNode* node) {
    if (!node) return "<none>";
    std::string out = node->kind == TextNode::kObject ? "O" : node->kind == TextNode::kArray ? "A" : "";
    if (!node->value.IsEmpty()) out += "=" + Utf8(node->value);
    return out + Dump(static_cast<const TextDataTree&>(*node));
}
std::string Dump(const TextDataTree& tree) {
    if (tree.count == 0) return "";
    std::string out = "{";
    const TextDataTree::Entry* entry = tree.first;
    for (u32 i = 0; i < tree.count; ++i, entry = entry->next) {
        if (i) out += " ";
        out += Utf8(entry->key) + Dump(entry->value);
    }
    return out + "}";
}

std::string Keys(const TextDataTree& tree) {
    std::string out;
    const TextDataTree::Entry* entry = tree.first;
    for (u32 i = 0; i < tree.count; ++i, entry = entry->next) out += (i ? "," : "") + Utf8(entry->key);
    return out;
}

std::string At(const TextDataTree& doc, const char* name) { return Dump(doc.GetChild(name)); }

bool LoadBytes(TextDataTree& doc, const std::string& bytes, TextData::Form form, MemFile* files = nullptr,
               int kind = kTextUtf8) {
    ArchiveStream stream;
    stream.Open(String(), kStreamRead);
    stream.CopyBytes(bytes.data(), static_cast<u32>(bytes.size()));
    return form == TextData::kLineForm ? UdfText::LoadStream(stream, doc, files, kind)
                                       : TextData::Load(stream, doc, files, kind);
}
bool Lines(TextDataTree& doc, const std::string& text) { return LoadBytes(doc, text, TextData::kLineForm); }
bool Statements(TextDataTree& doc, const std::string& text, MemFile* files = nullptr) {
    return LoadBytes(doc, text, TextData::kStatementForm, files);
}

patht Folder(const fs::path& folder) { return patht(folder.string().c_str()); }

bool LoadFile(TextDataTree& doc, const fs::path& file, TextData::Form form, MemFile* files, int kind) {
    FileStream stream;
    if (!stream.Open(String(file.string().c_str()), kStreamRead)) return false;
    return form == TextData::kLineForm ? UdfText::LoadStream(stream, doc, files, kind)
                                       : TextData::Load(stream, doc, files, kind);
}

// A scratch folder for documents the tests write themselves.
class ScratchFolder {
public:
    ScratchFolder() {
        static int serial = 0;
        path = fs::temp_directory_path() /
               ("corvane-text-" + std::to_string(getpid()) + "-" + std::to_string(++serial));
        fs::create_directories(path);
    }
    ~ScratchFolder() { fs::remove_all(path); }
    void Write(const std::string& name, const std::string& bytes) const {
        std::ofstream out(path / name, std::ios::binary);
        out << bytes;
    }
    fs::path path;
};

}  // namespace

// ---- the corpus --------------------------------------------------------------------------

TEST(TextCorpus, SettingsInTheLineForm) {
    TextDataTree doc;
    // The screensaver positions the stream after the byte-order mark.
    FileStream stream;
    ASSERT_TRUE(stream.Open(String((DataDir() / "settings.txt").string().c_str()), kStreamRead));
    ASSERT_TRUE(stream.Seek(3, kSeekSet));
    ASSERT_TRUE(UdfText::LoadStream(stream, doc, nullptr, kTextUtf8));

    EXPECT_EQ(Keys(doc),
              "Width,Height,NearPlane,FarPlane,Ambient,Cameras,GlowPos,MediaFolder,Title,Greeting,Greek,Empty,Fog,"
              "Scene,Replaced,Mode,Nested,List,Rates");
    EXPECT_EQ(At(doc, "Width"), "=800");
    EXPECT_EQ(At(doc, "Height"), "=600");
    EXPECT_EQ(At(doc, "NearPlane"), "=10");
    EXPECT_EQ(At(doc, "FarPlane"), "=5000.5");
    EXPECT_EQ(At(doc, "Ambient"), "A{0=85 1=85 2=85}");
    EXPECT_EQ(At(doc, "Cameras"), "A{0A{0=1.cam 1=2.cam} 1A{0=3.cam}}");
    EXPECT_EQ(At(doc, "GlowPos"), "A{0A{0=3991.92 1=362.159 2=-5689.91} 1A{0=-12.5 1=0 2=7}}");
    EXPECT_EQ(At(doc, "MediaFolder"), "=C:\\Corvane\\Media");
    EXPECT_EQ(At(doc, "Title"), "=Corvane \\\"Night\\\" Flight");
    EXPECT_EQ(At(doc, "Greeting"), "=single quoted");
    EXPECT_EQ(At(doc, "Greek"), "=Καλημέρα");
    EXPECT_EQ(At(doc, "Empty"), "");
    EXPECT_EQ(At(doc, "Fog"), "O{Start=100 End=900 ColorA{0=32 1=48 2=64}}");
    EXPECT_EQ(At(doc, "Scene"), "O{LightsO{Count=2 PrimaryA{0=1 1=0.5 2=0.25}}}");
    EXPECT_EQ(At(doc, "Replaced"), "=1");
    EXPECT_EQ(At(doc, "Mode"), "=fast");
    EXPECT_EQ(At(doc, "Nested"), "O{DeepO{Value=42}}");
    EXPECT_EQ(At(doc, "List"), "A{0=10 1=20}");
    EXPECT_EQ(At(doc, "Rates"), "A{slow=0.25}");

    // The same file read from its start: the byte-order mark is skipped, not read as
    // the end of the text.
    TextDataTree again;
    ASSERT_TRUE(LoadFile(again, DataDir() / "settings.txt", TextData::kLineForm, nullptr, kTextUtf8));
    EXPECT_EQ(Dump(again), Dump(doc));
}

TEST(TextCorpus, FontWithAnIncludedCharacterSet) {
    MemFile files;
    files.AddSearchPath(Folder(DataDir()));
    TextDataTree doc;
    ASSERT_TRUE(LoadFile(doc, DataDir() / "64font.fs", TextData::kStatementForm, &files, kTextCodePage));

    EXPECT_EQ(Keys(doc),
              "Name,Texture,Size,Styles,Rects,Format,A8R8G8B8,DefaultStyle,Path,Quote,Url,Charset,Metrics,Glyphs");
    EXPECT_EQ(At(doc, "Name"), "=64font");
    EXPECT_EQ(At(doc, "Texture"), "=64font.tga");
    EXPECT_EQ(At(doc, "Size"), "=64");
    EXPECT_EQ(At(doc, "Styles"),
              "A{0O{CharsetsA{0=64font.css} Size=32} 1O{Size=16 Bold=1 CharsetsA{0=64font.css 1=extra.css}}}");
    EXPECT_EQ(At(doc, "Rects"), "A{4A{0=129 1=0 2=160 3=64} 5A{0=161 1=0 2=192 3=64}}");
    // An unquoted word is a path: the node it names is created empty and copied.
    EXPECT_EQ(At(doc, "Format"), "");
    EXPECT_EQ(At(doc, "A8R8G8B8"), "");
    EXPECT_EQ(At(doc, "DefaultStyle"), "O{CharsetsA{0=64font.css} Size=32}");
    EXPECT_EQ(Utf8(doc.GetChild("DefaultStyle")->name), "DefaultStyle");
    EXPECT_EQ(At(doc, "Path"), "=C:\\Fonts\\64font.tga");
    // The escaped quote closes the value.
    EXPECT_EQ(At(doc, "Quote"), "=say ");
    EXPECT_EQ(At(doc, "Url"), "=http://corvane.example/fonts");
    EXPECT_EQ(At(doc, "Charset"), "O{Name=latin First=32 Count=96 MapA{0=32 1=33 2=34}}");
    EXPECT_EQ(At(doc, "Metrics"), "O{Ascent=50 Descent=14}");
    EXPECT_EQ(At(doc, "Glyphs"), "O{AA{0=0 1=0 2=31 3=63} BA{0=32 1=0 2=63 3=63}}");

    // A copy is a copy: changing it leaves the original alone.
    TextNode* size = doc.GetChild("DefaultStyle")->GetChild("Size");
    size->value = W("8");
    EXPECT_EQ(doc.GetChild("Styles")->GetChild(0)->GetChild("Size")->GetInt(), 32);
}

TEST(TextCorpus, TextureScriptTakesDefaultsFromItsInclude) {
    MemFile files;
    files.AddSearchPath(Folder(DataDir()));
    TextDataTree doc;
    ASSERT_TRUE(LoadFile(doc, DataDir() / "water.ts", TextData::kStatementForm, &files, kTextCodePage));
    EXPECT_EQ(Keys(doc), "Defaults,Texture,Frames,Speed,Timing");
    EXPECT_EQ(At(doc, "Defaults"), "O{Speed=0.5 Loop=1 OrderA{0=2 1=0 2=1}}");
    EXPECT_EQ(At(doc, "Frames"), "A{0=w0.tga 1=w1.tga 2=w2.tga}");
    EXPECT_EQ(At(doc, "Speed"), "=0.5");
    EXPECT_EQ(At(doc, "Timing"), At(doc, "Defaults"));
}

TEST(TextCorpus, IncludesFoundInAMountedArchive) {
    std::ifstream font(DataDir() / "64font.css", std::ios::binary);
    const std::string css((std::istreambuf_iterator<char>(font)), std::istreambuf_iterator<char>());
    const std::string main = "Name = \"archived\";\ninclude(\"64font.css\");\n";
    RarWriter writer;
    writer.SetPrefix("Media\\");
    ASSERT_TRUE(writer.AddFile("Fonts/main.fs", main.data(), main.size()));
    ASSERT_TRUE(writer.AddFile("Fonts/64font.css", css.data(), css.size()));
    writer.AddEndBlock();
    const std::vector<u8> bytes = writer.Take();

    patht block;
    block.flags = kPathMemory;
    block.block.data = bytes.data();
    block.block.size = static_cast<u32>(bytes.size());
    MemoryBuffer archive;
    ASSERT_TRUE(archive.Load(block));
    patht folder("Media/Fonts");
    folder.flags = kPathArchive;
    folder.archive = &archive;
    MemFile files;
    files.AddSearchPath(folder);

    Stream* stream = archive.OpenMember(String("Media\\Fonts\\main.fs"), kStreamRead);
    ASSERT_NE(stream, nullptr);
    TextDataTree doc;
    EXPECT_TRUE(TextData::Load(*stream, doc, &files, kTextCodePage));
    delete stream;
    EXPECT_EQ(Keys(doc), "Name,Charset");
    EXPECT_EQ(At(doc, "Charset"), "O{Name=latin First=32 Count=96 MapA{0=32 1=33 2=34}}");
}

// ---- cutting statements ----------------------------------------------------------------------

TEST(TextCutting, LineForm) {
    const WString text = W("\r\n; comment\n;another\r\n  Width = 800 ; tail\nTitle = \"a;b\"\n");
    u32 position = 0;
    EXPECT_EQ(Utf8(UdfText::NextStatement(text, position)), "  Width = 800 ");
    // The ";" that ended it begins a comment the next call skips.
    EXPECT_EQ(Utf8(UdfText::NextStatement(text, position)), "Title = \"a");
    EXPECT_EQ(Utf8(UdfText::NextStatement(text, position)), "");
    EXPECT_EQ(position, text.length);
}

TEST(TextCutting, StatementForm) {
    const WString text = W("a = 1;\r\n b = \"x;y\" ; // c;d\n e = '\"';f = \"\\\\\"; g = 2 /\n/ rest\n;"
                           "h = \"//\"; i = \\\"q;");
    u32 position = 0;
    EXPECT_EQ(Utf8(TextData::NextStatement(text, position)), "a = 1");
    EXPECT_EQ(Utf8(TextData::NextStatement(text, position)), " b = \"x;y\" ");
    // The comment goes; the line break is dropped, not made a blank.
    EXPECT_EQ(Utf8(TextData::NextStatement(text, position)), "  e = '\"'");
    EXPECT_EQ(Utf8(TextData::NextStatement(text, position)), "f = \"\\\"");
    // "/" and "/" split by a line break still start a comment.
    EXPECT_EQ(Utf8(TextData::NextStatement(text, position)), " g = 2 ");
    EXPECT_EQ(Utf8(TextData::NextStatement(text, position)), "h = \"//\"");
    // An escaped quote opens nothing, so the ";" after it ends the statement.
    EXPECT_EQ(Utf8(TextData::NextStatement(text, position)), " i = \"q");
    EXPECT_EQ(Utf8(TextData::NextStatement(text, position)), "");
}

TEST(TextCutting, ScanUntilSkipsQuotedAndBracketedRuns) {
    const WString text = W("a[\"=\"](=)'=' = 1");
    bool unclosed = true;
    EXPECT_EQ(TextData::ScanUntil(text.data, text.length, u"=", 1, &unclosed), 13u);
    EXPECT_FALSE(unclosed);
    const WString open = W("x[1 = 2");
    EXPECT_EQ(TextData::ScanUntil(open.data, open.length, u"=", 1, &unclosed), open.length);
    EXPECT_TRUE(unclosed);

    const WString nested = W("[[a]b]c");
    bool closed = false;
    EXPECT_EQ(TextData::ExtractBalanced(nested.data, nested.length, u'[', u']', &closed), 6u);
    EXPECT_TRUE(closed);
    EXPECT_EQ(TextData::ExtractBalanced(nested.data, nested.length, u'(', u')', &closed), 0u);

    EXPECT_EQ(Utf8(TextData::Unquote(W("\"a\\\"b\" c"), u'"', u'"')), "a\\\"b");
    // A backslash pair escapes nothing after it.
    EXPECT_EQ(Utf8(TextData::Unquote(W("\"a\\\\\"b\""), u'"', u'"')), "a\\\\");
    EXPECT_EQ(Utf8(TextData::Unquote(W("\"open"), u'"', u'"', &closed)), "\"open");
    EXPECT_FALSE(closed);
    EXPECT_EQ(Utf8(TextData::Unquote(W("[0]"), u'[', u']')), "0");
}

// ---- statements ----------------------------------------------------------------------------------

TEST(TextStatements, LineFormRules) {
    TextDataTree doc;
    EXPECT_TRUE(Lines(doc, "NearPlane = 10;\nPath = C:\\a\\b\nQ = \"say \\\"hi\\\" now\"\nBoth = 1 => 2\n"
                           "Arrow => 3\nPlain = 4\n"));
    EXPECT_EQ(At(doc, "NearPlane"), "=10");
    EXPECT_EQ(At(doc, "Path"), "=C:\\a\\b");
    EXPECT_EQ(At(doc, "Q"), "=say \\\"hi\\\" now");
    // "=>" is looked for first.
    EXPECT_EQ(Keys(doc), "NearPlane,Path,Q,Both = 1,Arrow,Plain");
    EXPECT_EQ(At(doc, "Both = 1"), "=2");
    EXPECT_EQ(At(doc, "Arrow"), "=3");
    EXPECT_EQ(At(doc, "Plain"), "=4");
}

TEST(TextStatements, ABlankLineBeforeACommentFailsTheLoadButNotTheRest) {
    TextDataTree doc;
    EXPECT_FALSE(Lines(doc, "A = 1\n   ; indented comment\nB = 2\n"));
    EXPECT_EQ(Keys(doc), "A,B");
    // Blanks with nothing but comments after them end the text quietly.
    TextDataTree tail;
    EXPECT_TRUE(Lines(tail, "A = 1\n   \n  ; closing words\n"));
    EXPECT_TRUE(Statements(tail, "B = 2; // done\n   "));
    EXPECT_EQ(Keys(tail), "A,B");
}

TEST(TextStatements, StatementFormRules) {
    TextDataTree doc;
    EXPECT_TRUE(Statements(doc, "N = 12.5e1; W = Missing.Word; S = \"text\"; T = 'single \"x\"';"
                                "A = \"x\"\nB = 2;"));
    EXPECT_EQ(At(doc, "N"), "=12.5e1");
    EXPECT_EQ(At(doc, "W"), "");
    EXPECT_EQ(At(doc, "Missing"), "O{Word}");
    EXPECT_EQ(At(doc, "S"), "=text");
    EXPECT_EQ(At(doc, "T"), "=single \"x\"");
    // Without its ";" the next line joins the statement.
    EXPECT_EQ(At(doc, "A"), "=x");
    EXPECT_EQ(doc.GetChild("B"), nullptr);

    // An empty statement ends the load; what follows is not read.
    TextDataTree early;
    EXPECT_TRUE(Statements(early, "a = 1;;b = 2;"));
    EXPECT_EQ(Keys(early), "a");
    TextDataTree comments;
    EXPECT_TRUE(Statements(comments, "a = 1;\n// only a comment\n;b = 2;"));
    EXPECT_EQ(Keys(comments), "a");
}

TEST(TextStatements, ReassignmentReplacesValueAndChildren) {
    TextDataTree doc;
    EXPECT_TRUE(Lines(doc, "V = array(1, 2)\nV = 1\nO = 5\nO = object(a = 1)\nO.b = 2\n"));
    EXPECT_EQ(At(doc, "V"), "=1");
    EXPECT_EQ(doc.GetChild("V")->ChildCount(), 0u);
    // An array or object holds no value text.
    EXPECT_EQ(At(doc, "O"), "O{a=1 b=2}");

    // Loads merge; a later text replaces what an earlier one set.
    EXPECT_TRUE(Lines(doc, "V = array(7)\nNew = 1\n"));
    EXPECT_EQ(At(doc, "V"), "A{0=7}");
    EXPECT_EQ(Keys(doc), "V,O,New");
}

TEST(TextStatements, BareWordsAndUsing) {
    TextDataTree doc;
    EXPECT_TRUE(Lines(doc, "ignored\nusing A.B\nfirst\nx = 1\nsecond\nusing\ny = 2\nusing A\n0 = taken\nnext\n"));
    // A bare statement outside any scope adds nothing.
    EXPECT_EQ(Keys(doc), "A,y");
    EXPECT_EQ(At(doc, "A"), "O{BO{0=first x=1 1=second} 0=taken 1=next}");
    EXPECT_EQ(doc.GetChild("A")->GetChild("B")->indexCounter, 2u);
}

TEST(TextStatements, ArrayLists) {
    TextDataTree doc;
    EXPECT_TRUE(Lines(doc, "E = array()\nF = array\nG = object\nH = array(1,,2, ,3,)\n"
                           "I = array(named = 1, 2, 1 = taken, 3)\nJ = array(\"a,b\", [c,d], (e,f), 'g,h')\n"));
    EXPECT_EQ(At(doc, "E"), "A");
    EXPECT_EQ(At(doc, "F"), "A");
    EXPECT_EQ(At(doc, "G"), "O");
    EXPECT_EQ(At(doc, "H"), "A{0=1 1=2 2=3}");
    // Index names skip the ones that exist.
    EXPECT_EQ(At(doc, "I"), "A{named=1 0=2 1=taken 2=3}");
    EXPECT_EQ(At(doc, "J"), "A{0=a,b 1=[c,d] 2=(e,f) 3=g,h}");
    // After the fill the cursor is on the first element, so a later indexed child is
    // linked right after it.
    EXPECT_TRUE(Lines(doc, "K = array(1, 2, 3)\nK[9] = 4\n"));
    EXPECT_EQ(At(doc, "K"), "A{0=1 9=4 1=2 2=3}");
    EXPECT_EQ(Utf8(doc.GetChild("H")->FirstChildKey()), "0");
}

TEST(TextStatements, PathsNameNestedNodes) {
    TextDataTree doc;
    EXPECT_TRUE(Statements(doc, "Styles[0].Size = 1; Rects[\"0\"] = 2; Grid[1][2] = 3; a.b.c = 4; "
                                "Odd[\"x.y\"] = 5; Sp [ 3 ] . k = 6;"));
    EXPECT_EQ(At(doc, "Styles"), "A{0O{Size=1}}");
    EXPECT_EQ(At(doc, "Rects"), "A{0=2}");
    EXPECT_EQ(At(doc, "Grid"), "A{1A{2=3}}");
    EXPECT_EQ(At(doc, "a"), "O{bO{c=4}}");
    // Quotes do not hide a "." in a path.
    EXPECT_EQ(At(doc, "Odd"), "A{[\"xO{y\"]=5}}");
    EXPECT_EQ(At(doc, "Sp"), "A{3O{k=6}}");

    TextNode* scope = doc.GetChild("a");
    TextNode* made = TextData::ResolvePath(doc, W(" [\"q\"].r "), scope);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made, scope->GetChild("q")->GetChild("r"));
    EXPECT_EQ(TextData::ResolvePath(doc, W("a.b.c"), nullptr), doc.GetChild("a")->GetChild("b")->GetChild("c"));
    EXPECT_EQ(UdfText::ResolvePath(doc, W("a"), nullptr), doc.GetChild("a"));
}

TEST(TextStatements, OperatorsInsideQuotesOrBracketsDoNotCount) {
    TextDataTree doc;
    TextNode* list = TextData::ResolvePath(doc, W("L"), nullptr);
    TextNode* current = list;
    // The first "=" stands inside quotes: the statement has no operator and becomes
    // an element of the current node.
    EXPECT_TRUE(UdfText::ParseStatement(doc, W("\"a=b\" = 5"), current, nullptr));
    EXPECT_EQ(At(doc, "L"), "{0=a=b}");
    EXPECT_TRUE(UdfText::ParseStatement(doc, W("Key[\"=\"] = 5"), current, nullptr));
    EXPECT_EQ(list->ChildCount(), 2u);
    // An unterminated bracket hides the operator: a clear failure.
    EXPECT_FALSE(UdfText::ParseStatement(doc, W("Key[\"x\" = 5"), current, nullptr));
    EXPECT_EQ(list->ChildCount(), 2u);
    EXPECT_FALSE(UdfText::ParseStatement(doc, W("   "), current, nullptr));
}

TEST(TextStatements, CopiesAreDeepAndSurviveAliasing) {
    TextDataTree doc;
    EXPECT_TRUE(Statements(doc, "a = object(x = 1, y = array(1, 2)); b = a; a.y = 9; a.self = a; c = a.y; "
                                "d = object(e = 1); d = d.e; f = 3; f = f;"));
    EXPECT_EQ(At(doc, "b"), "O{x=1 yA{0=1 1=2}}");
    // Copying a node into its own child copies what it held at that moment; the new
    // child was linked after the cursor, which the list left on the first element.
    EXPECT_EQ(At(doc, "a"), "O{x=1 selfO{x=1 self y=9} y=9}");
    EXPECT_EQ(At(doc, "c"), "=9");
    // Copying a node's own child into it.
    EXPECT_EQ(At(doc, "d"), "");
    EXPECT_EQ(At(doc, "f"), "=3");
}

TEST(TextStatements, ParseStatementForgetsACurrentNodeThatWentAway) {
    TextDataTree doc;
    TextNode* current = nullptr;
    ASSERT_TRUE(TextData::ParseStatement(doc, W("using A.B"), current, nullptr));
    ASSERT_EQ(current, doc.GetChild("A")->GetChild("B"));
    ScratchFolder folder;
    folder.Write("reset.txt", "A = 1;");
    const std::string include = "include(\"" + (folder.path / "reset.txt").generic_string() + "\")";
    EXPECT_TRUE(TextData::ParseStatement(doc, W(include), current, nullptr));
    EXPECT_EQ(current, nullptr);
    EXPECT_EQ(At(doc, "A"), "=1");
}

// ---- includes ---------------------------------------------------------------------------------------

TEST(TextIncludes, WithoutAContextTheNameIsADiskPath) {
    // The generic form: a native backslash inside a quoted text would start an escape.
    const std::string name = (DataDir() / "common.ts").generic_string();
    TextDataTree doc;
    EXPECT_TRUE(Statements(doc, "include(\"" + name + "\"); After = 1;"));
    EXPECT_EQ(Keys(doc), "Defaults,After");
    TextDataTree lines;
    EXPECT_TRUE(Lines(lines, "Before = 1\n  include ( \"" + name + "\" )  \n"));
    EXPECT_EQ(Keys(lines), "Before,Defaults");
}

TEST(TextIncludes, AnIncludedFileStartsAtTheRootAndLeavesTheIncludersScope) {
    ScratchFolder folder;
    folder.Write("part.txt", "Inner = 1; using Deep; Deeper = 2;");
    MemFile files;
    files.AddSearchPath(Folder(folder.path));
    TextDataTree doc;
    EXPECT_TRUE(Statements(doc, "using Outer; include(\"part.txt\"); Mine = 3; L = array(include(\"part.txt\"), 4);",
                           &files));
    EXPECT_EQ(At(doc, "Outer"), "O{Mine=3 LA{0=4}}");
    EXPECT_EQ(At(doc, "Inner"), "=1");
    EXPECT_EQ(At(doc, "Deep"), "O{Deeper=2}");
    // Inside a list the included file still writes from the root.
    EXPECT_EQ(Dump(doc.GetChild("Outer")->GetChild("L")), "A{0=4}");
}

TEST(TextIncludes, MissingFilesAddNothingAndCyclesFail) {
    MemFile files;
    files.AddSearchPath(Folder(DataDir()));
    {
        TextDataTree doc;
        EXPECT_TRUE(Statements(doc, "A = 1; include(\"no_such_file.txt\"); B = 2;", &files));
        EXPECT_EQ(Keys(doc), "A,B");
    }
    {
        // Inside a scope the missing include becomes no element, and without a file
        // context, or with an empty name, nothing changes either.
        TextDataTree doc;
        EXPECT_TRUE(Statements(doc, "using S; include(\"no_such_file.txt\"); X = 1; include(\"\"); 2;", &files));
        EXPECT_TRUE(Statements(doc, "include(\"no_such_file.txt\");"));
        EXPECT_TRUE(Lines(doc, "using T\ninclude(\"no_such_file.txt\")\nY = 1\n"));
        EXPECT_EQ(Dump(doc), "{SO{X=1 0=2} TO{Y=1}}");
    }
    {
        // A missing include in a list adds no element.
        TextDataTree doc;
        EXPECT_TRUE(Statements(doc, "L = array(1, include(\"no_such_file.txt\"), 2);", &files));
        EXPECT_EQ(At(doc, "L"), "A{0=1 1=2}");
    }
    {
        TextDataTree doc;
        EXPECT_FALSE(LoadFile(doc, DataDir() / "self.txt", TextData::kStatementForm, &files, kTextCodePage));
        EXPECT_EQ(At(doc, "Self"), "=1");
    }
    {
        TextDataTree doc;
        EXPECT_FALSE(LoadFile(doc, DataDir() / "loop_a.txt", TextData::kStatementForm, &files, kTextCodePage));
        EXPECT_EQ(Keys(doc), "A,B");
    }
    {
        // Not written as include("name"): an ordinary statement.
        TextDataTree doc;
        EXPECT_TRUE(Statements(doc, "includeCount = 2; include = 3;", &files));
        EXPECT_EQ(Keys(doc), "includeCount,include");
    }
}

TEST(TextIncludes, ChainsAndFanOutAreBounded) {
    ScratchFolder folder;
    // A chain longer than the include depth allows.
    for (u32 i = 0; i < TextData::kMaxIncludeDepth + 4; ++i)
        folder.Write("c" + std::to_string(i) + ".txt",
                     "L" + std::to_string(i) + " = 1; include(\"c" + std::to_string(i + 1) + ".txt\");");
    folder.Write("c" + std::to_string(TextData::kMaxIncludeDepth + 4) + ".txt", "End = 1;");
    MemFile files;
    files.AddSearchPath(Folder(folder.path));
    TextDataTree chain;
    EXPECT_FALSE(Statements(chain, "include(\"c0.txt\");", &files));
    EXPECT_EQ(chain.ChildCount(), TextData::kMaxIncludeDepth);
    EXPECT_EQ(chain.GetChild("End"), nullptr);

    // Every level includes the next one ten times: far more loads than allowed.
    for (u32 i = 0; i < 8; ++i) {
        std::string text;
        for (int k = 0; k < 10; ++k) text += "include(\"f" + std::to_string(i + 1) + ".txt\");";
        folder.Write("f" + std::to_string(i) + ".txt", text);
    }
    folder.Write("f8.txt", "Leaf = 1;");
    TextDataTree fan;
    EXPECT_FALSE(Statements(fan, "include(\"f0.txt\");", &files));
    EXPECT_EQ(At(fan, "Leaf"), "=1");
}

TEST(TextIncludes, AnIncludeThatReassignsTheIncludersScope) {
    MemFile files;
    files.AddSearchPath(Folder(DataDir()));
    // reset_scene.txt assigns Scene while the includer stands inside Scene.Lights and
    // inside a list of Scene's: the writes that follow land in nodes that are gone.
    TextDataTree doc;
    EXPECT_TRUE(Lines(doc, "Scene.Lights.Old = 1\nusing Scene.Lights\n"));
    EXPECT_TRUE(Statements(doc,
                           "using Scene.Lights; include(\"reset_scene.txt\"); Count = 3; "
                           "Scene = array(array(include(\"reset_scene.txt\"), 7), 8); After = 1;",
                           &files));
    EXPECT_EQ(At(doc, "Scene"), "=5");
    EXPECT_EQ(At(doc, "Reset"), "=1");
    EXPECT_EQ(doc.GetChild("After"), nullptr);  // After went into the vanished scope

    // The list being filled goes away under its own element; later elements go to
    // the node that was assigned.
    TextDataTree list;
    EXPECT_TRUE(Statements(list, "Scene = array(array(include(\"reset_scene.txt\"), 7), 8); After = 1;", &files));
    EXPECT_EQ(At(list, "Scene"), "=5{0=8}");
    EXPECT_EQ(At(list, "After"), "=1");
}

// ---- bad input ---------------------------------------------------------------------------------------

TEST(TextBadInput, UnterminatedStringsAndLists) {
    TextDataTree doc;
    EXPECT_FALSE(LoadFile(doc, DataDir() / "bad_unterminated_string.fs", TextData::kStatementForm, nullptr,
                          kTextCodePage));
    EXPECT_EQ(doc.GetChild("Name"), nullptr);

    TextDataTree list;
    EXPECT_FALSE(LoadFile(list, DataDir() / "bad_unterminated_list.txt", TextData::kLineForm, nullptr, kTextUtf8));
    EXPECT_EQ(At(list, "Good"), "=1");
    EXPECT_EQ(At(list, "Colors"), "A");  // no element loses its last digit
    EXPECT_EQ(At(list, "Also"), "=2");

    TextDataTree more;
    // In the line form the ";" ends the statement inside the quote, and the rest of
    // the line is a comment: the value is the text up to it.
    EXPECT_TRUE(Lines(more, "Title = \"a;b\"\nS = 'x;y'\nNext = 1\n"));
    EXPECT_EQ(At(more, "Title"), "=\"a");
    EXPECT_EQ(At(more, "S"), "='x");
    EXPECT_EQ(At(more, "Next"), "=1");
    // In the statement form only an escaped quote leaves a cut statement's quote open.
    EXPECT_FALSE(Statements(more, "E = \\\"abc; F = 2;"));
    EXPECT_EQ(At(more, "E"), "");
    EXPECT_EQ(At(more, "F"), "=2");
    EXPECT_FALSE(Lines(more, "T = array(1, \"2)\n"));
    EXPECT_FALSE(Lines(more, "U = array(1, 2) tail\n"));
    EXPECT_FALSE(Statements(more, "V = 'open;"));
    EXPECT_TRUE(Lines(more, "W = array(array(1), (2))\n"));
    EXPECT_EQ(At(more, "W"), "A{0A{0=1} 1=(2)}");
}

TEST(TextBadInput, EmptyStreamsLeaveTheDocumentAlone) {
    TextDataTree doc;
    EXPECT_TRUE(Lines(doc, "A = 1\n"));
    EXPECT_FALSE(Lines(doc, ""));
    EXPECT_FALSE(Statements(doc, ""));
    EXPECT_FALSE(LoadBytes(doc, "B = 1", TextData::kLineForm, nullptr, 0));
    EXPECT_EQ(Keys(doc), "A");
    // A stream read to its end yields nothing more.
    ArchiveStream stream;
    stream.Open(String(), kStreamRead);
    stream.CopyBytes("C = 1", 5);
    ASSERT_TRUE(stream.Seek(5, kSeekSet));
    EXPECT_FALSE(UdfText::LoadStream(stream, doc, nullptr, kTextCodePage));
    EXPECT_EQ(Keys(doc), "A");
}

TEST(TextBadInput, BytesThatAreNoText) {
    // A settings file saved in the system code page read as UTF-8: the accented
    // letter is no UTF-8 and reads as U+FFFD; every statement is kept.
    TextDataTree doc;
    EXPECT_TRUE(LoadBytes(doc, "A = 1\nB = caf\xe9\nC = 3\nD = \xff\x80x\n", TextData::kLineForm));
    EXPECT_EQ(Keys(doc), "A,B,C,D");
    EXPECT_EQ(At(doc, "B"), "=caf\xef\xbf\xbd");
    EXPECT_EQ(At(doc, "C"), "=3");
    EXPECT_EQ(At(doc, "D"), "=\xef\xbf\xbd\xef\xbf\xbdx");
    TextDataTree statements;
    EXPECT_TRUE(LoadBytes(statements, "A = \"caf\xe9\"; B = 2;", TextData::kStatementForm));
    EXPECT_EQ(Dump(statements), "{A=caf\xef\xbf\xbd B=2}");
    // A zero byte ends the text and the load: what came before it is loaded.
    TextDataTree zero;
    EXPECT_TRUE(LoadBytes(zero, std::string("A = 1\n\0B = 2\n", 13), TextData::kLineForm));
    EXPECT_EQ(Keys(zero), "A");
    TextDataTree zeroStatements;
    EXPECT_TRUE(LoadBytes(zeroStatements, std::string("A = 1;\0\0junk;;", 14), TextData::kStatementForm, nullptr,
                          kTextCodePage));
    EXPECT_EQ(Dump(zeroStatements), "{A=1}");
    TextDataTree padded;
    EXPECT_TRUE(LoadBytes(padded, std::string("A = 1\n\0\0\0", 9), TextData::kLineForm, nullptr, kTextCodePage));
    // Control characters are characters like any other.
    EXPECT_TRUE(LoadBytes(padded, "B = \"\x01\x02\";", TextData::kStatementForm, nullptr, kTextCodePage));
    EXPECT_EQ(At(padded, "B"), "=\x01\x02");
    // A text that starts with a zero is empty: the stream gave bytes, so the load
    // is true and adds nothing.
    TextDataTree leading;
    EXPECT_TRUE(LoadBytes(leading, std::string("\0A = 1\n", 7), TextData::kLineForm));
    EXPECT_EQ(leading.ChildCount(), 0u);

    // Random bytes in every encoding and both forms: a result, never a crash.
    std::mt19937 random(1234);
    for (int round = 0; round < 200; ++round) {
        std::string bytes(1 + random() % 600, '\0');
        for (char& c : bytes) c = static_cast<char>(random() % 3 ? random() % 256 : "=;()[]\"'.,\n\\/a"[random() % 15]);
        TextDataTree garbage;
        LoadBytes(garbage, bytes, round % 2 ? TextData::kLineForm : TextData::kStatementForm, nullptr,
                  1 + round % 6);
    }
}

TEST(TextBadInput, UTF16DocumentsWithAByteOrderMark) {
    const WString text = W("Name = \"Ωmega\"\r\nSize = 3\r\n");
    std::string bytes = "\xFF\xFE";
    for (u32 i = 0; i < text.length; ++i) {
        bytes += static_cast<char>(text.data[i] & 0xFF);
        bytes += static_cast<char>(text.data[i] >> 8);
    }
    TextDataTree doc;
    EXPECT_TRUE(LoadBytes(doc, bytes, TextData::kLineForm, nullptr, kTextUtf16Le));
    EXPECT_EQ(Keys(doc), "Name,Size");
    EXPECT_EQ(At(doc, "Name"), "=Ωmega");
}

TEST(TextBadInput, DeepNestingIsCapped) {
    auto nested = [](u32 depth) {
        std::string text = "N = ";
        for (u32 i = 0; i < depth; ++i) text += "array(";
        text += "1";
        for (u32 i = 0; i < depth; ++i) text += ")";
        return text + "\n";
    };
    TextDataTree fits;
    EXPECT_TRUE(Lines(fits, nested(TextData::kMaxNesting)));
    const TextNode* node = fits.GetChild("N");
    for (u32 i = 0; i < TextData::kMaxNesting && node; ++i) node = node->GetChild(0);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->GetInt(), 1);

    TextDataTree deep;
    EXPECT_FALSE(Lines(deep, nested(20000) + "After = 1\n"));
    EXPECT_EQ(deep.GetChild("After"), nullptr);  // the load stops at the limit

    // Long paths build deep trees without recursion, also when the tree goes away.
    std::string path = "P";
    for (int i = 0; i < 200000; ++i) path += ".p";
    TextDataTree longPath;
    EXPECT_TRUE(Statements(longPath, path + " = 1; Q = P; P = 2;"));
    EXPECT_EQ(At(longPath, "P"), "=2");
}

TEST(TextBadInput, CopiesThatDoubleAreStopped) {
    std::string text = "x0 = array(1, 2, 3, 4);";
    for (int i = 1; i < 64; ++i)
        text += "x" + std::to_string(i) + " = array(x" + std::to_string(i - 1) + ", x" + std::to_string(i - 1) + ");";
    TextDataTree doc;
    EXPECT_FALSE(Statements(doc, text));
    EXPECT_EQ(doc.GetChild("x63"), nullptr);
}

TEST(TextBadInput, HugeNumbers) {
    const std::string digits(5000, '9');
    TextDataTree doc;
    EXPECT_TRUE(Statements(doc, "Big = " + digits + "; Exp = 1e999999; Tiny = -1e-999999; Int = 2147483648;"));
    EXPECT_EQ(Utf8(doc.GetChild("Big")->value), digits);
    EXPECT_EQ(doc.GetChild("Big")->GetInt(), 0);
    EXPECT_GT(doc.GetChild("Big")->GetReal(), 1e300);
    EXPECT_EQ(doc.GetChild("Exp")->GetInt(), 0);
    EXPECT_EQ(doc.GetChild("Int")->GetInt(), 0);
    EXPECT_EQ(doc.GetChild("Tiny")->GetReal(), 0.0);
}
