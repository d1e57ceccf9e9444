// The SMI mailbox as the firmware's handler sees it: the registers of each
// software SMI, and what comes back into the caller's buffer.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "QuorvikSO.h"
#include "sim_board.h"

namespace quorvik::sim {
namespace {

using platform::SmiRegisters;

class MailboxTest : public testing::Test {
  protected:
    void SetUp() override {
        board().reset();
        ASSERT_EQ(SmbxInit(), 0);
    }
    void TearDown() override {
        EXPECT_EQ(SmbxExit(), 0);
        EXPECT_EQ(board().permission_violations, 0) << "SMI without the port permission";
        board().reset();
    }
    static Board& board() { return Board::get(); }

    // A handler that answers every read with words derived from the offset
    // and the call number, and counts up what it leaves in EAX and EBX.
    void serve_reads() {
        board().smi_handler = [this](SmiRegisters& r) {
            ++calls_;
            r.eax = 0xA0000000 | r.esi;
            r.ecx = 0xC0000000 | calls_;
            r.edx = 0xD0000000 | r.esi;
            r.ebx = 0xB0000000 | calls_;
            r.esi = 0xDEADBEEF;  // never stored back
            r.edi = 0xDEADBEEF;
        };
    }
    std::uint32_t calls_ = 0;
};

std::uint32_t word_at(const unsigned char* bytes) {
    return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
           std::uint32_t{bytes[3]} << 24;
}

TEST_F(MailboxTest, SendSmiPassesTheBlockAndStoresFourRegistersBack) {
    board().smi_handler = [](SmiRegisters& r) {
        r.eax = 1;
        r.ebx = 2;
        r.ecx = 3;
        r.edx = 4;
        r.esi = 5;
        r.edi = 6;
    };
    SmiRegisterBlock block{0x12345628, 0xBB, 0xCC, 0xDD, 0xEE, 0x51, 0xD1};
    EXPECT_EQ(SmbxSendSMI(&block), 0);
    ASSERT_EQ(board().smi_calls.size(), 1u);
    const SmiRegisters& seen = board().smi_calls[0];
    EXPECT_EQ(seen.eax, 0x12345628u);
    EXPECT_EQ(seen.ebx, 0xBBu);
    EXPECT_EQ(seen.ecx, 0xCCu);
    EXPECT_EQ(seen.edx, 0xB2u) << "DX carries the port, not the block's edx";
    EXPECT_EQ(seen.esi, 0x51u);
    EXPECT_EQ(seen.edi, 0xD1u);
    EXPECT_EQ(board().port_log.back(), (PortAccess{PortAccess::Out, 0xB2, 0x28}));
    EXPECT_EQ(block.eax, 1u);
    EXPECT_EQ(block.ebx, 2u);
    EXPECT_EQ(block.ecx, 3u);
    EXPECT_EQ(block.edx, 4u);
    EXPECT_EQ(block.reserved, 0xEEu);
    EXPECT_EQ(block.esi, 0x51u);
    EXPECT_EQ(block.edi, 0xD1u);
}

TEST_F(MailboxTest, ReadShorterThanAChunkOnlyZeroesTheBuffer) {
    serve_reads();
    for (std::uint32_t length = 0; length < 16; ++length) {
        std::array<unsigned char, 20> buf;
        buf.fill(0x77);
        EXPECT_EQ(SmbxRead(0x100, length, buf.data()), 0);
        for (std::size_t i = 0; i < buf.size(); ++i) {
            EXPECT_EQ(buf[i], i < length ? 0 : 0x77) << "length " << length << " byte " << i;
        }
    }
    EXPECT_TRUE(board().smi_calls.empty());
}

TEST_F(MailboxTest, ReadStoresEaxEcxEdxEbxPerChunkAndLeavesTheRemainderZero) {
    serve_reads();
    std::array<unsigned char, 56> buf;
    buf.fill(0x77);
    EXPECT_EQ(SmbxRead(0x1000, 52, buf.data()), 0);
    ASSERT_EQ(board().smi_calls.size(), 3u);
    for (std::uint32_t i = 0; i < 3; ++i) {
        const SmiRegisters& seen = board().smi_calls[i];
        EXPECT_EQ(seen.esi, 0x1000 + 16 * i);
        EXPECT_EQ(seen.ecx, 16u);
        EXPECT_EQ(seen.eax & 0xFF, std::uint32_t{SMBX_CMD_READ});
        const unsigned char* chunk = buf.data() + 16 * i;
        EXPECT_EQ(word_at(chunk), 0xA0000000 | (0x1000 + 16 * i));
        EXPECT_EQ(word_at(chunk + 4), 0xC0000000 | (i + 1));
        EXPECT_EQ(word_at(chunk + 8), 0xD0000000 | (0x1000 + 16 * i));
        EXPECT_EQ(word_at(chunk + 12), 0xB0000000 | (i + 1));
    }
    // From the second chunk on, EAX's upper bytes and EBX are what the
    // handler left.
    EXPECT_EQ(board().smi_calls[1].eax, (0xA0001000u & ~0xFFu) | SMBX_CMD_READ);
    EXPECT_EQ(board().smi_calls[1].ebx, 0xB0000001u);
    EXPECT_EQ(std::vector<unsigned char>(buf.begin() + 48, buf.begin() + 52),
              std::vector<unsigned char>(4, 0));
    EXPECT_EQ(buf[52], 0x77) << "written past the length";
}

TEST_F(MailboxTest, ChunkOffsetsWrapInThirtyTwoBits) {
    serve_reads();
    std::array<unsigned char, 32> buf{};
    SmbxRead(0xFFFFFFF0, 32, buf.data());
    ASSERT_EQ(board().smi_calls.size(), 2u);
    EXPECT_EQ(board().smi_calls[1].esi, 0u);
}

TEST_F(MailboxTest, WriteAnnouncesTheWholeLengthEvenBelowAChunk) {
    const std::array<unsigned char, 8> data{1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(SmbxWrite(0x200, 8, data.data()), 0);
    ASSERT_EQ(board().smi_calls.size(), 1u);
    EXPECT_EQ(board().smi_calls[0].eax & 0xFF, std::uint32_t{SMBX_CMD_WRITE_OPEN});
    EXPECT_EQ(board().smi_calls[0].ecx, 8u);
    EXPECT_EQ(board().smi_calls[0].edi, 0x200u);
}

TEST_F(MailboxTest, WritePacksEachChunkIntoTheRegisters) {
    std::array<unsigned char, 40> data;
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(i);
    // Word 2 of chunk 0: only its low half 0x5678 reaches the handler.
    const unsigned char word2[4] = {0x78, 0x56, 0x34, 0x12};
    std::memcpy(data.data() + 8, word2, 4);
    EXPECT_EQ(SmbxWrite(0x300, 40, data.data()), 0);
    ASSERT_EQ(board().smi_calls.size(), 3u);
    EXPECT_EQ(board().smi_calls[0].ecx, 40u);
    EXPECT_EQ(board().smi_calls[0].eax & 0xFF, std::uint32_t{SMBX_CMD_WRITE_OPEN});
    for (std::uint32_t i = 0; i < 2; ++i) {
        const SmiRegisters& seen = board().smi_calls[1 + i];
        const unsigned char* chunk = data.data() + 16 * i;
        EXPECT_EQ(seen.edi, 0x300 + 16 * i);
        EXPECT_EQ(seen.ebx, word_at(chunk));
        EXPECT_EQ(seen.ecx, word_at(chunk + 4));
        EXPECT_EQ(seen.eax, (word_at(chunk + 8) << 16) | SMBX_CMD_WRITE_DATA);
        EXPECT_EQ(seen.esi, word_at(chunk + 12));
        EXPECT_EQ(seen.edx, 0xB2u);
    }
    EXPECT_EQ(board().smi_calls[1].eax, 0x5678002Fu);
}

TEST_F(MailboxTest, NullArgumentsSendNothing) {
    EXPECT_EQ(SmbxSendSMI(nullptr), -1);
    EXPECT_EQ(SmbxRead(0, 32, nullptr), -1);
    EXPECT_EQ(SmbxWrite(0, 32, nullptr), -1);
    EXPECT_TRUE(board().smi_calls.empty());
}

}  // namespace
}  // namespace quorvik::sim
