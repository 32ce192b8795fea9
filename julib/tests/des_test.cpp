// DES against published vectors (single blocks, the iterated maintenance
// test, the CBC example), and the CBC buffer operations of JuCrypto.

#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "julib/crypto.h"
#include "testing/ju_test.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes fromHex(const char* hex) {
  Bytes out;
  for (size_t i = 0; hex[i] != '\0';) {
    if (hex[i] == ' ') {
      ++i;
      continue;
    }
    out.push_back(static_cast<uint8_t>(std::stoi(std::string(hex + i, 2), nullptr, 16)));
    i += 2;
  }
  return out;
}

std::string toHex(const uint8_t* bytes, size_t n) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < n; ++i) {
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 15];
  }
  return out;
}

std::string toHex(const Bytes& bytes) { return toHex(bytes.data(), bytes.size()); }

// One block through DES alone: a zero chain block leaves only the cipher.
Bytes desBlock(const Bytes& key, const Bytes& input, int decrypt) {
  DESwCBCEncryptor des;
  const uint8_t zero[8] = {};
  des.setKey(key.data(), decrypt);
  Bytes block = input;
  des.processBlock(block.data(), zero, decrypt);
  return block;
}

// --- Single blocks -------------------------------------------------------------

TEST(Des, SingleBlockVectorsBothWays) {
  struct Row {
    const char* key;
    const char* plain;
    const char* cipher;
    const char* note;
  };
  const Row rows[] = {
      {"133457799BBCDFF1", "0123456789ABCDEF", "85e813540f0ab405", "the worked example"},
      {"0000000000000000", "0000000000000000", "8ca64de9c1b123a7", "all zero"},
      {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "7359b2163e4edc58", "all one"},
      {"3000000000000000", "1000000000000001", "958e6e627a05557b", "single bits"},
      {"1111111111111111", "1111111111111111", "f40379ab9e0ec533", ""},
      {"0123456789ABCDEF", "1111111111111111", "17668dfc7292532d", ""},
      {"1111111111111111", "0123456789ABCDEF", "8a5ae1f81ab8f2dd", ""},
      {"FEDCBA9876543210", "0123456789ABCDEF", "ed39d950fa74bcc4", ""},
      // Bit 8 of every key byte is parity and must not matter.
      {"123556789ABDDEF0", "0123456789ABCDEF", "85e813540f0ab405", "parity bits flipped"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.key) + " " + row.note);
    const Bytes key = fromHex(row.key);
    EXPECT_EQ(toHex(desBlock(key, fromHex(row.plain), 0)), row.cipher);
    EXPECT_EQ(desBlock(key, fromHex(row.cipher), 1), fromHex(row.plain));
  }
}

// Rivest's maintenance test: sixteen steps that alternately encrypt and
// decrypt a block under itself as the key reach every S-box entry.
TEST(Des, IteratedMaintenanceTest) {
  Bytes x = fromHex("9474B8E8C73BCA7D");
  for (int i = 0; i < 16; ++i) x = desBlock(x, x, i % 2);
  EXPECT_EQ(toHex(x), "1b1a2ddb4c642438");
}

TEST(Des, ProcessBlockChainsBeforeEncryptingAndAfterDecrypting) {
  const Bytes key = fromHex("0123456789abcdef");
  const Bytes plain = fromHex("4e6f772069732074");  // "Now is t"
  const Bytes chain = fromHex("1234567890abcdef");
  DESwCBCEncryptor des;
  des.setKey(key.data(), 0);
  Bytes block = plain;
  des.processBlock(block.data(), chain.data(), 0);
  EXPECT_EQ(toHex(block), "e5c7cdde872bf27c");

  des.setKey(key.data(), 1);
  des.processBlock(block.data(), chain.data(), 1);
  EXPECT_EQ(block, plain);

  // Block and chain may be the same bytes.
  Bytes same = plain;
  des.setKey(key.data(), 0);
  des.processBlock(same.data(), same.data(), 0);
  EXPECT_EQ(same, desBlock(key, Bytes(8, 0), 0));
}

// --- CBC over buffers -------------------------------------------------------

const char kFipsText[] = "Now is the time for all ";
const char kFipsCipher[] = "e5c7cdde872bf27c43e934008c389c0f683788499a7c05f6";

class Cbc : public ::testing::Test {
 protected:
  void SetUp() override {
    des_.setKey(key_.data(), 0);
    des_.setInitVector(iv_.data());
  }
  void decryptor() {
    des_.setKey(key_.data(), 1);
    des_.setInitVector(iv_.data());
  }
  std::string chainRegister() { return toHex(des_.chainRegister, 8); }

  const Bytes key_ = fromHex("0123456789abcdef");
  const Bytes iv_ = fromHex("1234567890abcdef");
  const Bytes plain_ = Bytes(kFipsText, kFipsText + 24);
  DESwCBCEncryptor des_;
};

TEST_F(Cbc, LayoutOfTheEncryptor) {
  EXPECT_EQ(des_.blockSize, 8);
  EXPECT_EQ(des_.initVector, des_.vector);
  EXPECT_EQ(des_.chainRegister, des_.chain);
  EXPECT_EQ(toHex(des_.vector, 8), toHex(iv_));
  EXPECT_EQ(toHex(des_.chain, 8), toHex(iv_));
}

TEST_F(Cbc, FipsExampleInPlace) {
  Bytes buffer = plain_;
  des_.encryptBuffer(buffer.data(), buffer.data(), 24);
  EXPECT_EQ(toHex(buffer), kFipsCipher);
  EXPECT_EQ(chainRegister(), toHex(iv_));  // in place leaves the register alone

  decryptor();
  des_.decryptBuffer(buffer.data(), buffer.data(), 24);
  EXPECT_EQ(buffer, plain_);
  EXPECT_EQ(chainRegister(), "683788499a7c05f6");  // the last ciphertext block
}

TEST_F(Cbc, FipsExampleIntoAnotherBuffer) {
  Bytes cipher(24);
  des_.encryptBuffer(plain_.data(), cipher.data(), 24);
  EXPECT_EQ(toHex(cipher), kFipsCipher);
  EXPECT_EQ(chainRegister(), "683788499a7c05f6");

  decryptor();
  Bytes plain(24);
  des_.decryptBuffer(cipher.data(), plain.data(), 24);
  EXPECT_EQ(plain, plain_);
  EXPECT_EQ(chainRegister(), "683788499a7c05f6");
}

// Into another buffer the chaining register carries the chain from one call
// to the next, so a text may be processed in pieces.
TEST_F(Cbc, PiecesContinueTheChain) {
  Bytes cipher(24);
  des_.encryptBuffer(plain_.data(), cipher.data(), 16);
  des_.encryptBuffer(plain_.data() + 16, cipher.data() + 16, 8);
  EXPECT_EQ(toHex(cipher), kFipsCipher);

  decryptor();
  Bytes plain(24);
  des_.decryptBuffer(cipher.data(), plain.data(), 8);
  des_.decryptBuffer(cipher.data() + 8, plain.data() + 8, 16);
  EXPECT_EQ(plain, plain_);

  // In place too: decryption follows the register block by block.
  decryptor();
  Bytes inPlace = fromHex(kFipsCipher);
  des_.decryptBuffer(inPlace.data(), inPlace.data(), 16);
  des_.decryptBuffer(inPlace.data() + 16, inPlace.data() + 16, 8);
  EXPECT_EQ(inPlace, plain_);
}

TEST_F(Cbc, LengthsRoundUpToWholeBlocks) {
  struct Row {
    uint32_t length;
    size_t blocks;
  };
  const Row rows[] = {{0, 0}, {1, 1}, {7, 1}, {8, 1}, {9, 2}, {17, 3}, {24, 3}};
  const Bytes expected = fromHex(kFipsCipher);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.length);
    Bytes buffer = plain_;
    SetUp();
    des_.encryptBuffer(buffer.data(), buffer.data(), row.length);
    const size_t changed = row.blocks * 8;
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + changed), Bytes(expected.begin(), expected.begin() + changed));
    EXPECT_EQ(Bytes(buffer.begin() + changed, buffer.end()), Bytes(plain_.begin() + changed, plain_.end()));
  }
}

TEST_F(Cbc, EncryptTextMatchesTheBufferForm) {
  Bytes out(24);
  des_.encryptText(plain_.data(), 24, out.data(), 8);
  EXPECT_EQ(toHex(out), kFipsCipher);
  EXPECT_EQ(chainRegister(), toHex(iv_));  // the register is not changed

  Bytes terminated(24);
  des_.encryptText(kFipsText, terminated.data(), 8);
  EXPECT_EQ(toHex(terminated), kFipsCipher);

  Bytes none(8, 0xAA);
  des_.encryptText(static_cast<const char*>(nullptr), none.data(), 8);
  EXPECT_EQ(none, Bytes(8, 0xAA));
}

// Each block takes min(bytes per block, 8) bytes of the text at its own
// offset; the rest of the block keeps what the destination held, and the
// last block reads nothing past the text.
TEST_F(Cbc, EncryptTextTakesPartsOfBlocks) {
  struct Row {
    uint32_t length;
    uint16_t perBlock;
    const char* note;
  };
  const Row rows[] = {
      {24, 4, "half of each block"},  {24, 0, "no text at all"},  {24, 200, "more than a block"},
      {20, 8, "a short last block"},  {17, 8, "one byte in the last block"}, {1, 8, "one byte"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    // The text in a block of exactly its length, so a read past it shows.
    std::unique_ptr<uint8_t[]> text(new uint8_t[row.length]);
    std::memcpy(text.get(), plain_.data(), row.length);
    const size_t blocks = (row.length + 7) / 8;
    Bytes out(blocks * 8, 0x5A);
    Bytes expected = out;
    const size_t take = row.perBlock < 8 ? row.perBlock : 8;
    for (size_t i = 0; i < row.length; ++i) {
      if (i % 8 < take) expected[i] = plain_[i];
    }
    SetUp();
    des_.encryptBuffer(expected.data(), expected.data(), static_cast<uint32_t>(expected.size()));
    SetUp();
    des_.encryptText(text.get(), row.length, out.data(), row.perBlock);
    EXPECT_EQ(toHex(out), toHex(expected));
  }
}

// --- Other ciphers through the same buffer operations --------------------------

// Block size 0: everything goes to processBuffer.
class WholeBufferCipher : public JuCrypto {
 public:
  void setKey(const uint8_t*, int) override {}
  void setInitVector(const uint8_t*) override {}
  void processBuffer(uint32_t length, const uint8_t* source, uint8_t* destination) override {
    calls.push_back({length, source, destination});
  }
  struct Call {
    uint32_t length;
    const uint8_t* source;
    uint8_t* destination;
  };
  std::vector<Call> calls;
};

TEST(Crypto, WholeBufferCiphersGetTheBuffer) {
  WholeBufferCipher cipher;
  uint8_t a[4] = {}, b[4] = {};
  cipher.encryptBuffer(a, b, 4);
  cipher.decryptBuffer(b, a, 3);
  cipher.encryptText(a, 2, b, 8);
  ASSERT_EQ(cipher.calls.size(), 3u);
  EXPECT_EQ(cipher.calls[0].length, 4u);
  EXPECT_EQ(cipher.calls[0].source, a);
  EXPECT_EQ(cipher.calls[0].destination, b);
  EXPECT_EQ(cipher.calls[1].length, 3u);
  EXPECT_EQ(cipher.calls[1].source, b);
  EXPECT_EQ(cipher.calls[2].length, 2u);
}

// A cipher of 40-byte blocks (bigger than the operations' stack scratch) that
// only adds 1 to each byte, so CBC's chaining can be followed by hand.
class AddOneCipher : public JuCrypto {
 public:
  AddOneCipher() {
    initVector = iv;
    chainRegister = reg;
    blockSize = kSize;
  }
  void setKey(const uint8_t*, int) override {}
  void setInitVector(const uint8_t* v) override {
    std::memcpy(iv, v, kSize);
    std::memcpy(reg, v, kSize);
  }
  void processBlock(uint8_t* block, const uint8_t* chain, int decrypt) override {
    for (size_t i = 0; i < kSize; ++i) {
      const uint8_t c = chain[i];
      block[i] = decrypt ? static_cast<uint8_t>(static_cast<uint8_t>(block[i] - 1) ^ c)
                         : static_cast<uint8_t>((block[i] ^ c) + 1);
    }
  }
  static constexpr uint16_t kSize = 40;
  uint8_t iv[kSize];
  uint8_t reg[kSize];
};

TEST(Crypto, LargeBlocksRoundTripInPlace) {
  AddOneCipher cipher;
  const Bytes vector(AddOneCipher::kSize, 0x33);
  cipher.setInitVector(vector.data());
  Bytes text(3 * AddOneCipher::kSize);
  for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<uint8_t>(i * 7);
  Bytes buffer = text;
  cipher.encryptBuffer(buffer.data(), buffer.data(), static_cast<uint32_t>(buffer.size()));
  // Block 0 is (text ^ vector) + 1; block 1 chains on block 0's result.
  EXPECT_EQ(buffer[0], static_cast<uint8_t>((text[0] ^ 0x33) + 1));
  EXPECT_EQ(buffer[40], static_cast<uint8_t>((text[40] ^ buffer[0]) + 1));
  cipher.decryptBuffer(buffer.data(), buffer.data(), static_cast<uint32_t>(buffer.size()));
  EXPECT_EQ(buffer, text);
}

// --- Wiping ------------------------------------------------------------------

TEST(Des, DestructorWipesTheScheduleAndTheVectors) {
  alignas(DESwCBCEncryptor) unsigned char storage[sizeof(DESwCBCEncryptor)];
  auto* des = new (storage) DESwCBCEncryptor;
  const Bytes key = fromHex("133457799BBCDFF1");
  des->setKey(key.data(), 0);
  des->setInitVector(key.data());
  struct Field {
    size_t offset;
    size_t size;
  };
  const Field fields[] = {
      {static_cast<size_t>(reinterpret_cast<unsigned char*>(des->vector) - storage), sizeof des->vector},
      {static_cast<size_t>(reinterpret_cast<unsigned char*>(des->chain) - storage), sizeof des->chain},
      {static_cast<size_t>(reinterpret_cast<unsigned char*>(des->subkeys) - storage), sizeof des->subkeys},
  };
  EXPECT_NE(des->subkeys[0], 0u);
  des->~DESwCBCEncryptor();
  for (const Field& field : fields) {
    for (size_t i = 0; i < field.size; ++i) EXPECT_EQ(storage[field.offset + i], 0) << field.offset + i;
  }
}

}  // namespace
