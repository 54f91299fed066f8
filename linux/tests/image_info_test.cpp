#include "image/image_read.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "image/image_text.h"
#include "image/memory_image_files.h"

#include "test_image.h"

namespace morvik::cli {
namespace {

using testing::imageBytes;
using testing::writeTestFile;

struct ImageCase {
  const char* name;
  std::vector<std::uint8_t> bytes;
  std::optional<ImageRefusal> fault;
  std::uint64_t payloadBytes;
  const char* agreeLine;  // nullptr: no header to describe
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const ImageCase& c, std::ostream* os) { *os << c.name; }

class ImageInspection : public ::testing::TestWithParam<ImageCase> {};

TEST_P(ImageInspection, JudgesWhetherTheImageCanBeSent) {
  const ImageCase& c = GetParam();
  const std::string path = writeTestFile("image.dat", c.bytes);
  const ImageReport report = inspectImage(path);
  EXPECT_EQ(report.fault, c.fault);
  EXPECT_EQ(report.payloadBytes, c.payloadBytes);
  const std::string info = imageInfoText(path, report);
  if (c.agreeLine) {
    EXPECT_NE(info.find(c.agreeLine), std::string::npos) << info;
  } else {
    EXPECT_NE(info.find("Problem:"), std::string::npos) << info;
  }
}

std::vector<std::uint8_t> textBytes(std::string_view text) { return {text.begin(), text.end()}; }

std::vector<std::uint8_t> truncated(std::vector<std::uint8_t> bytes, std::size_t size) {
  bytes.resize(size);
  return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Images, ImageInspection,
    ::testing::Values(ImageCase{"Exact", imageBytes(123, 64, 64), std::nullopt, 64, "Agree:         yes"},
                      // Larger than one read chunk, so the payload count must add up across reads.
                      ImageCase{"Large", imageBytes(123, 65536, 65536), std::nullopt, 65536, "Agree:         yes"},
                      ImageCase{"Surplus", imageBytes(123, 100, 128), std::nullopt, 128, "no: 28 bytes beyond"},
                      ImageCase{"ShortPayload", imageBytes(123, 100, 99), ImageProblem::PayloadTooShort, 99,
                                "promises 100 bytes of firmware but it holds only 99"},
                      ImageCase{"NoPayload", imageBytes(123, 0, 0), ImageProblem::NoPayload, 0, "image length of 0"},
                      ImageCase{"HeaderOnly27", truncated(imageBytes(123, 64, 0), 27), ImageProblem::HeaderTooShort, 0,
                                nullptr},
                      ImageCase{"Empty", {}, ImageProblem::HeaderTooShort, 0, nullptr},
                      ImageCase{"TextFile", textBytes("This is not firmware, only notes about it.\n"),
                                ImageProblem::NotAnImage, 15, "no: it is not a firmware image"}),
    [](const ::testing::TestParamInfo<ImageCase>& param) { return param.param.name; });

TEST(ImageInspection, MissingFileCannotBeOpened) {
  const ImageReport report = inspectImage(::testing::TempDir() + "morvik_no_such_image.dat");
  EXPECT_EQ(report.fault, ImageRefusal(FileFault::NoSuchFile));
  EXPECT_FALSE(report.header);
}

TEST(ImageInspection, DirectoryIsNotAnImage) {
  EXPECT_EQ(inspectImage(::testing::TempDir()).fault, ImageRefusal(FileFault::IsDirectory));
}

// What a bad input case leaves open while it is inspected (a pipe's write end, a FIFO).
struct Fixture {
  std::vector<int> fds;
  std::string fifo;
  std::thread lateWriter;
  ~Fixture() {
    if (lateWriter.joinable()) lateWriter.join();
    for (int fd : fds) close(fd);
    if (!fifo.empty()) unlink(fifo.c_str());
  }
  // A pipe whose write end stays open; `bytes` are already in it. Its path is the read end.
  std::string pipeHolding(const std::vector<std::uint8_t>& bytes) {
    int ends[2];
    if (pipe(ends) != 0) return "";
    fds.insert(fds.end(), {ends[0], ends[1]});
    if (!bytes.empty() && write(ends[1], bytes.data(), bytes.size()) < 0) return "";
    return "/proc/self/fd/" + std::to_string(ends[0]);
  }
  std::string fifoWithoutWriter() {
    fifo = ::testing::TempDir() + "morvik_fifo_" + std::to_string(getpid());
    unlink(fifo.c_str());
    return mkfifo(fifo.c_str(), 0600) == 0 ? fifo : "";
  }
  // A FIFO that a writer opens a moment after the reader, and leaves without writing.
  std::string fifoWhoseWriterLeavesEmpty() {
    const std::string path = fifoWithoutWriter();
    lateWriter = testing::writeFifoLate(path, {}, std::chrono::milliseconds(100));
    return path;
  }
};

struct BadInputCase {
  const char* name;
  std::string (*make)(Fixture&);
  ImageRefusal fault;
  const char* said;
};

void PrintTo(const BadInputCase& c, std::ostream* os) { *os << c.name; }

class BadInput : public ::testing::TestWithParam<BadInputCase> {};

// Every input that is not an image ends quickly, with its own reason and without a copy to send.
TEST_P(BadInput, IsRefusedPromptlyWithItsReason) {
  const BadInputCase& c = GetParam();
  if (c.fault == ImageRefusal(FileFault::PermissionDenied) && geteuid() == 0) GTEST_SKIP() << "root reads every file";
  Fixture fixture;
  const std::string path = c.make(fixture);
  ASSERT_FALSE(path.empty());
  const auto started = std::chrono::steady_clock::now();
  const ImageReport report = inspectImage(path, {}, std::chrono::milliseconds(300));
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
  EXPECT_EQ(report.fault, c.fault);
  EXPECT_FALSE(report.image);
  EXPECT_NE(faultText(report).find(c.said), std::string::npos) << faultText(report);
}

constexpr std::uint32_t kOverLimit = kMaxImagePayloadBytes + 1;

INSTANTIATE_TEST_SUITE_P(
    Inputs, BadInput,
    ::testing::Values(
        BadInputCase{"NoSuchFile", [](Fixture&) { return ::testing::TempDir() + "morvik_absent/fw.dat"; },
                     FileFault::NoSuchFile, "no such file"},
        BadInputCase{"PathThroughAFile",
                     [](Fixture&) { return writeTestFile("plain.dat", imageBytes(123, 4, 4)) + "/fw.dat"; },
                     FileFault::NoSuchFile, "no such file"},
        BadInputCase{"Directory", [](Fixture&) { return ::testing::TempDir(); }, FileFault::IsDirectory,
                     "is a directory"},
        BadInputCase{"Unreadable",
                     [](Fixture&) {
                       const std::string path = writeTestFile("locked.dat", imageBytes(123, 64, 64));
                       chmod(path.c_str(), 0);
                       return path;
                     },
                     FileFault::PermissionDenied, "permission denied"},
        BadInputCase{"EndlessDevice", [](Fixture&) { return std::string("/dev/zero"); }, FileFault::NotRegularFile,
                     "a character device, not a regular file"},
        // A FIFO's writer may come after the reader: it is waited for as long as a silent pipe.
        BadInputCase{"FifoWithoutWriter", [](Fixture& f) { return f.fifoWithoutWriter(); }, FileFault::PipeStalled,
                     "gave no data for"},
        BadInputCase{"FifoWhoseWriterLeavesEmpty", [](Fixture& f) { return f.fifoWhoseWriterLeavesEmpty(); },
                     FileFault::EmptyPipe, "the pipe ended before it gave any data"},
        BadInputCase{"PipeThatStaysSilent", [](Fixture& f) { return f.pipeHolding({}); }, FileFault::PipeStalled,
                     "gave no data for"},
        BadInputCase{"PipeThatStopsHalfWay", [](Fixture& f) { return f.pipeHolding(imageBytes(123, 64, 10)); },
                     FileFault::PipeStalled, "gave no data for"},
        BadInputCase{"HeaderClaimsTooMuch",
                     [](Fixture&) {
                       const std::string path = writeTestFile("huge.dat", imageBytes(123, kOverLimit, 64));
                       if (truncate(path.c_str(), kHeaderSize + off_t{kOverLimit}) != 0) return std::string();
                       return path;
                     },
                     ImageProblem::TooLarge, "image length of 16777217 bytes; no pad takes more than 16777216"},
        BadInputCase{
            "FileOneByteOverTheLimit",
            [](Fixture&) { return writeTestFile("over.dat", imageBytes(123, kMaxImagePayloadBytes, kOverLimit)); },
            ImageProblem::TooLarge, "it is too large: no pad takes more than"},
        // A broken download is named as such before the length is judged.
        BadInputCase{"HeaderClaimsFarMoreThanTheFileHolds",
                     [](Fixture&) { return writeTestFile("lying.dat", imageBytes(123, 0xFFFFFFFF, 10)); },
                     ImageProblem::PayloadTooShort, "promises 4294967295 bytes of firmware but it holds only 10"},
        BadInputCase{"FileTooLarge",
                     [](Fixture&) {
                       const std::string path = writeTestFile("sparse.dat", imageBytes(123, 64, 64));
                       if (truncate(path.c_str(), off_t{1} << 40) != 0) return std::string();  // 1 TiB, sparse
                       return path;
                     },
                     ImageProblem::TooLarge, "it is too large: no pad takes more than"}),
    [](const ::testing::TestParamInfo<BadInputCase>& param) { return param.param.name; });

TEST(ImageInspection, LargestImageIsAccepted) {
  const auto bytes = imageBytes(123, kMaxImagePayloadBytes, kMaxImagePayloadBytes);
  const ImageReport report = inspectImage(writeTestFile("largest.dat", bytes));
  EXPECT_EQ(report.fault, std::nullopt) << faultText(report);
  ASSERT_TRUE(report.image);
  EXPECT_EQ(*report.image->bytes, bytes);
}

TEST(ImageInspection, PipeIsReadOnceWholeAndServesTheCopy) {
  const auto bytes = imageBytes(123, 100000, 100000);  // more than a pipe buffers: read while written
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  std::thread writer([&] {
    for (std::size_t at = 0; at < bytes.size();) {
      const ssize_t put = write(ends[1], bytes.data() + at, std::min<std::size_t>(4000, bytes.size() - at));
      if (put <= 0) break;
      at += static_cast<std::size_t>(put);
    }
    close(ends[1]);
  });
  const ImageReport report = inspectImage("/proc/self/fd/" + std::to_string(ends[0]));
  writer.join();
  close(ends[0]);
  EXPECT_EQ(report.fault, std::nullopt) << faultText(report);
  ASSERT_TRUE(report.image);
  EXPECT_EQ(*report.image->bytes, bytes);

  MemoryImageFiles files("fw.dat", report.image->bytes);
  EXPECT_EQ(files.open("other.dat"), nullptr);
  const auto file = files.open("fw.dat");
  ASSERT_TRUE(file);
  std::vector<std::uint8_t> served(bytes.size() + 10);
  std::size_t at = 0;
  for (std::int32_t got; (got = file->read(served.data() + at, 4096)) > 0;) at += static_cast<std::size_t>(got);
  served.resize(at);
  EXPECT_EQ(served, bytes);
}

TEST(ImageInspection, StopRequestEndsTheWaitForAPipe) {
  Fixture fixture;
  const std::string path = fixture.pipeHolding({});
  StopSource cancel;
  std::thread canceller([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    cancel.request_stop();
  });
  const auto started = std::chrono::steady_clock::now();
  const ImageReport report = inspectImage(path, cancel.get_token(), std::chrono::minutes(1));
  canceller.join();
  EXPECT_EQ(report.fault, ImageRefusal(FileFault::Cancelled));
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
}

}  // namespace
}  // namespace morvik::cli
