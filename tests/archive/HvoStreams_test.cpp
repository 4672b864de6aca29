#include "archive/HvoExcept.h"
#include "archive/HvoStreams.h"
#include "platform/Exceptions.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestText.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using testsupport::MessageOf;

TEST(HvoStreams, FileStreamWritesReadsAndSeeks)
{
    testsupport::TempDir dir;
    const std::string path = (dir / "f.bin").string();
    {
        TFileStream out(path, fmCreate);
        EXPECT_EQ(out.Write("hello world", 11), 11);
        EXPECT_EQ(out.Size(), 11);
        EXPECT_EQ(out.Seek(6, TSeekOrigin::soBeginning), 6);
        out.WriteBuffer("WORLD", 5);
        out.SetSize(8);
        EXPECT_EQ(out.Position(), 8);
        EXPECT_EQ(out.Size(), 8);
    }
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    const mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);

    TFileStream in(path, fmOpenRead | fmShareDenyNone);
    EXPECT_GE(fcntl(in.Handle(), F_GETFD) & FD_CLOEXEC, 1);
    char buf[32] = {};
    EXPECT_EQ(in.Read(buf, 32), 8) << "a read past the end returns the count read";
    EXPECT_EQ(std::string(buf, 8), "hello WO");
    EXPECT_EQ(in.Read(buf, 4), 0);
    in.SetPosition(2);
    EXPECT_EQ(MessageOf<EStreamError>([&] { in.ReadBuffer(buf, 7); }), "Stream read error");
    EXPECT_EQ(in.Write("x", 1), 0) << "a read-only stream takes nothing";
    EXPECT_EQ(MessageOf<EStreamError>([&] { in.WriteBuffer("x", 1); }), "Stream write error");

    TFileStream both(path, fmOpenReadWrite | fmShareDenyWrite);
    both.Seek(0, TSeekOrigin::soEnd);
    both.WriteBuffer("!", 1);
    EXPECT_EQ(both.Size(), 9);
}

TEST(HvoStreams, StreamErrorsAreNotComponentErrors)
{
    TMemoryStream m;
    char c;
    bool caughtAsComponent = false;
    try {
        m.ReadBuffer(&c, 1);
    } catch (const EHvoException&) {
        caughtAsComponent = true;
    } catch (const EReadError&) {
    }
    EXPECT_FALSE(caughtAsComponent);
}

TEST(HvoStreams, ShortWriteOnAFullDiskDoesNotRaise)
{
    TFileStream full("/dev/full", fmOpenWrite);
    const std::vector<char> data(70000, 'z');
    int64_t written = -1;
    EXPECT_NO_THROW(written = full.Write(data.data(), static_cast<int64_t>(data.size())));
    EXPECT_LT(written, static_cast<int64_t>(data.size()));
    EXPECT_EQ(MessageOf<EWriteError>([&] { full.WriteBuffer(data.data(), 10); }), "Stream write error");
}

TEST(HvoStreams, SixtyFourBitPositions)
{
    testsupport::TempDir dir;
    const std::string path = (dir / "sparse.bin").string();
    const int64_t at = int64_t(4608) << 20; // 4.5 GiB
    {
        TFileStream f(path, fmCreate);
        f.SetSize(at + 16);
        EXPECT_EQ(f.Size(), at + 16);
        EXPECT_EQ(f.Seek(at, TSeekOrigin::soBeginning), at);
        f.WriteBuffer("far away", 8);
    }
    TFileStream f(path, fmOpenRead);
    EXPECT_EQ(f.Seek(-16, TSeekOrigin::soEnd), at);
    char buf[16] = {};
    EXPECT_EQ(f.Read(buf, 16), 16);
    EXPECT_EQ(std::string(buf, 8), "far away");
    EXPECT_EQ(std::string(buf + 8, 8), std::string(8, '\0'));
}

TEST(HvoStreams, OpenFailuresNameTheFile)
{
    testsupport::TempDir dir;
    const std::string missing = (dir / "нет.zip").string();
    const std::string open = MessageOf<platform::EFOpenError>([&] { TFileStream f(missing, fmOpenRead); });
    EXPECT_EQ(open.rfind("Cannot open file \"" + missing + "\". ", 0), 0u) << open;
    const std::string create =
        MessageOf<platform::EFCreateError>([&] { TFileStream f((dir / "no/such/dir.zip").string(), fmCreate); });
    EXPECT_EQ(create.rfind("Cannot create file \"" + (dir / "no/such/dir.zip").string() + "\". ", 0), 0u) << create;
}

TEST(HvoStreams, MemoryStream)
{
    TMemoryStream m;
    m.WriteBuffer("abc", 3);
    EXPECT_EQ(m.Seek(6, TSeekOrigin::soBeginning), 6);
    char buf[8] = {};
    EXPECT_EQ(m.Read(buf, 1), 0) << "past the end";
    m.WriteBuffer("xy", 2);
    EXPECT_EQ(m.Size(), 8);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(m.Memory()), 8), std::string("abc\0\0\0xy", 8));
    m.SetSize(2);
    EXPECT_EQ(m.Position(), 2);
    m.SetPosition(0);
    EXPECT_EQ(m.Read(buf, 8), 2);
    m.SetPosition(-1);
    EXPECT_EQ(m.Write("q", 1), 0);
    m.Clear();
    EXPECT_EQ(m.Size(), 0);
    EXPECT_EQ(m.Position(), 0);
}

} // namespace
