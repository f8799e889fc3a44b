// The built vellumark-cli run as a user runs it, on files made here: what
// a read did not take exactly, include lines that leave their folder, the
// size limit, a failing standard output, file names that are not UTF-8,
// the causes of failed writes and text in a double-byte code page.
// POSIX only: the program is started with fork and exec.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "formats/TblTextTbl.h"
#include "formats/TextHelpers.h"
#include "tests/FormatTestUtil.h"
#include "tests/TestFiles.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

#if !defined(_WIN32) && defined(VM_CLI_PATH)

struct ToolRun {
    int status = -1;  // the exit status, or -1 when the program did not exit
    std::string out, err;
};

std::string Slurp(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class BuiltCli : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(VM_CLI_PATH)) GTEST_SKIP() << VM_CLI_PATH << " not built";
    }

    // Runs the program with these arguments (bytes, as a shell passes
    // them); standard output goes to stdoutFile when one is named.
    ToolRun Run(const std::vector<std::string>& args, const char* stdoutFile = nullptr) {
        const fs::path out = dir.path() / ".out", err = dir.path() / ".err";
        const pid_t pid = fork();
        if (pid == 0) {
            const int o = open(stdoutFile ? stdoutFile : out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (o < 0 || e < 0 || dup2(o, 1) < 0 || dup2(e, 2) < 0) _exit(126);
            std::vector<char*> argv{const_cast<char*>(VM_CLI_PATH)};
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(VM_CLI_PATH, argv.data());
            _exit(127);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        ToolRun r;
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = Slurp(out);
        r.err = Slurp(err);
        fs::remove(out);
        fs::remove(err);
        return r;
    }

    std::string P(const char* name) const { return (dir.path() / name).string(); }
    bool Exists(const char* name) const { return fs::exists(dir.path() / name); }

    void Tbl(const char* name, const vmtest::Entries& entries) {
        const vmtest::Bytes image = vmtest::TblImage(entries);
        ASSERT_TRUE(dir.Write(name, std::string(image.begin(), image.end())));
    }

    vmtest::TempDir dir;
};

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST_F(BuiltCli, ReadWarningsComeOnePerKindAndStrictMakesThemFail) {
    dir.Write("mod/main.txt", "a\t1\r\n#\"missing.txt\"\r\n#\"gone.txt\"\r\n#\"self.txt\"\r\n");
    dir.Write("mod/self.txt", "s\tv\r\n#\"self.txt\"\r\n");
    ToolRun r = Run({"convert", P("mod/main.txt"), P("out.tbl")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.err, "warning: '" + P("mod/main.txt") +
                               "': 2 include line(s) name no file that can be read (first: 'missing.txt')\n"))
        << r.err;
    EXPECT_TRUE(Has(r.err, "1 include line(s) beyond the nesting limit of 8 were skipped (first: 'self.txt')"))
        << r.err;
    fs::remove(dir.path() / "out.tbl");

    r = Run({"convert", P("mod/main.txt"), P("out.tbl"), "--strict"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "error: '" + P("mod/main.txt") + "': 2 include line(s)")) << r.err;
    EXPECT_FALSE(Exists("out.tbl"));

    // info shows the same warnings after its report.
    r = Run({"info", P("mod/main.txt")});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(Has(r.out, "Entries: 9\n")) << r.out;
    EXPECT_TRUE(Has(r.err, "include line(s) name no file")) << r.err;
}

TEST_F(BuiltCli, IncludesThatLeaveTheFolderFailUnlessAllowed) {
    dir.Write("secret.txt", "password\thunter2\r\n");
    dir.Write("mod/evil.txt", "a\t1\r\n#\"../secret.txt\"\r\n");
    ToolRun r = Run({"convert", P("mod/evil.txt"), P("out.txt"), "--encoding", "utf8"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err,
                    "the include line naming '../secret.txt' leads outside the folder of the file "
                    "(allow it with --includes-anywhere)"))
        << r.err;
    EXPECT_FALSE(Exists("out.txt"));

    r = Run({"convert", P("mod/evil.txt"), P("out.txt"), "--encoding", "utf8", "--includes-anywhere"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(dir.Read("out.txt"), "password\t\"hunter2\"")) << dir.Read("out.txt");

    // A file that includes itself three times fails at its budget.
    std::string lines;
    for (int i = 0; i < 1000; ++i) lines += "k\tv\r\n";
    dir.Write("bomb.txt", lines + "#\"bomb.txt\"\r\n#\"bomb.txt\"\r\n#\"bomb.txt\"\r\n");
    r = Run({"info", P("bomb.txt")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "its include lines pull in too much")) << r.err;
}

TEST_F(BuiltCli, TheSizeLimitIsAnOptionAndOutputsBeyondItAreReported) {
    vmtest::Entries entries;
    // UTF-16 text of these takes more room than their .tbl.
    for (int i = 0; i < 300; ++i) entries.emplace_back(u"key" + vm::IntToDecimal(i), std::u16string(40, u'v'));
    Tbl("in.tbl", entries);
    const auto size = fs::file_size(dir.path() / "in.tbl");
    ASSERT_GT(size, 4000u);

    ToolRun r = Run({"convert", P("in.tbl"), P("out.tbl"), "--max-file-size", "4000"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "larger than the limit of 4000 bytes (see --max-file-size)")) << r.err;

    // A .tbl beyond the limit is written with a warning; UTF-16 text twice
    // the size is refused (a read could not take it back) unless --lossy.
    const std::string limit = std::to_string(size);
    r = Run({"convert", P("in.tbl"), P("out.tbl"), "--max-file-size", limit, "--add-to-hash", "5"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.err, "more than the read limit of " + limit + " bytes: reading it back needs --max-file-size " +
                               std::to_string(fs::file_size(dir.path() / "out.tbl"))))
        << r.err;
    r = Run({"convert", P("in.tbl"), P("out.txt"), "--max-file-size", limit});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "the file grows beyond the size a read takes back")) << r.err;
    EXPECT_FALSE(Exists("out.txt"));
    r = Run({"convert", P("in.tbl"), P("out.txt"), "--max-file-size", limit, "--lossy"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.err, "reading it back needs --max-file-size")) << r.err;

    EXPECT_EQ(Run({"info", P("in.tbl"), "--max-file-size", "0"}).status, 2);
}

TEST_F(BuiltCli, AFailedWriteToStandardOutputIsAFailure) {
    Tbl("x.tbl", {{u"a", u"b"}});
    ToolRun r = Run({"info", P("x.tbl")}, "/dev/full");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "error: cannot write the output")) << r.err;
    EXPECT_EQ(Run({"--help"}, "/dev/full").status, 1);
    EXPECT_EQ(Run({"info", P("x.tbl")}).status, 0);
}

TEST_F(BuiltCli, FileNamesThatAreNotUtf8KeepTheirBytes) {
    const std::string in = P("in\xFE.tbl"), out = P("out\xFE.txt");
    {
        const vmtest::Bytes image = vmtest::TblImage({{u"a", u"b"}});
        std::ofstream f(in, std::ios::binary);
        f.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    }
    dir.Write("out\xEF\xBF\xBD.txt", "unrelated");  // the name U+FFFD would give
    const ToolRun r = Run({"convert", in, out, "--encoding", "utf8"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(out));
    EXPECT_EQ(dir.Read("out\xEF\xBF\xBD.txt"), "unrelated");
    EXPECT_TRUE(Has(r.out, out)) << r.out;
}

TEST_F(BuiltCli, FailedWritesNameTheirCause) {
    Tbl("in.tbl", {{u"a", u"b"}});
    dir.Write("locked.txt", "old");
    fs::permissions(dir.path() / "locked.txt", fs::perms::owner_read);
    ToolRun r = Run({"convert", P("in.tbl"), P("locked.txt")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "cannot write '" + P("locked.txt") + "': the file is read-only")) << r.err;

    // A folder that takes no new file: an existing file is rewritten in
    // place, a new one cannot be made.
    dir.Write("ro/old.txt", "old");
    fs::permissions(dir.path() / "ro", fs::perms::owner_read | fs::perms::owner_exec);
    r = Run({"convert", P("in.tbl"), P("ro/old.txt"), "--encoding", "utf8"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dir.Read("ro/old.txt"), "\xEF\xBB\xBFKey\tValue\r\na\t\"b\"\r\n");
    r = Run({"convert", P("in.tbl"), P("ro/new.txt")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "cannot write '" + P("ro/new.txt") + "': permission denied")) << r.err;
    r = Run({"convert", P("in.tbl"), P("nowhere/new.tbl")});
    EXPECT_TRUE(Has(r.err, "the folder does not exist")) << r.err;
    fs::permissions(dir.path() / "ro", fs::perms::owner_all);
}

TEST_F(BuiltCli, AnsiInADoubleByteCodePageWarnsAndReadsBack) {
    Tbl("in.tbl", {{u"k", u"\u4E2D\u6587"}, {u"e", u"plain"}});
    ToolRun r = Run({"convert", P("in.tbl"), P("out.txt"), "--encoding", "ansi", "--codepage", "936"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.err, "read it with --from-encoding ansi --codepage 936")) << r.err;

    r = Run({"info", P("out.txt"), "--codepage", "936"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.out,
                    "Encoding: ANSI (code page 936)\n"
                    "EncodingChosenBy: no byte-order mark; not UTF-8; no zero byte, and the multi-byte "
                    "code page decodes it\n"))
        << r.out;
    r = Run({"convert", P("out.txt"), P("back.tbl"), "--codepage", "936"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dir.Read("back.tbl"), dir.Read("in.tbl"));
}

TEST_F(BuiltCli, TblTablesComeBackByteForByte) {
    // A literal backslash and "n" and a carriage return: written from their
    // text they would change; unchanged entries keep their bytes.
    const vmtest::Bytes in = vmtest::RawTblImage({{"a", "C:\\new"}, {"b", "x\r\ny"}, {"c", "plain"}});
    dir.Write("in.tbl", std::string(in.begin(), in.end()));
    ToolRun r = Run({"convert", P("in.tbl"), P("out.tbl")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dir.Read("out.tbl"), dir.Read("in.tbl"));

    dir.Write("new.txt",
              "\xEF\xBB\xBF"
              "c\tchanged\r\n");
    r = Run({"merge", P("new.txt"), P("in.tbl"), P("merged.tbl")});
    EXPECT_EQ(r.status, 0) << r.err;
    const vmtest::Bytes merged = vmtest::RawTblImage({{"a", "C:\\new"}, {"b", "x\r\ny"}, {"c", "changed"}});
    EXPECT_EQ(dir.Read("merged.tbl"), std::string(merged.begin(), merged.end()));

    r = Run({"convert", P("in.tbl"), P("out.txt")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "row 1, key 'a': it holds text its display form does not give back")) << r.err;
}

#endif

}  // namespace
