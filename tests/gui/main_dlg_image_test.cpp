// ROM size buttons and loading the image file into the buffer: texts,
// colours, message boxes and the bytes the buffer holds afterwards.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "gui/resource_ids.h"
#include "tests/gui/main_dlg_rig.h"

namespace kavlen {
namespace {

using test::MainDlgRig;

struct RadioCase {
  std::uint8_t supported;
  int button;  // IDC_ROM_64K ..
  const char* status;  // nullptr: refused with the message box
};

TEST(MainDlgRomSize, ButtonsAboveTheSupportedSizeAreRefusedButStored) {
  const RadioCase cases[] = {
      {3, IDC_ROM_512K, "Select 512K Bytes..."},
      {3, IDC_ROM_1024K, nullptr},
      {0, IDC_ROM_64K, "Select 64K Bytes..."},
      {0, IDC_ROM_128K, nullptr},
      {6, IDC_ROM_4096K, "Select 4096K Bytes..."},
      {7, IDC_ROM_4096K, "Select 4096K Bytes..."},
      {255, IDC_ROM_4096K, "Select 4096K Bytes..."},
      {255, IDC_ROM_128K, "Select 128K Bytes..."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << int{c.supported} << " " << c.button);
    MainDlgRig rig;
    CMainDlg& dlg = rig.Open();
    dlg.m_supportedSizeCode = c.supported;
    rig.Click(c.button);
    EXPECT_EQ(dlg.m_nRomSize, c.button - IDC_ROM_64K);
    EXPECT_EQ(rig.CheckedRomSize(), c.button);
    if (c.status != nullptr) {
      EXPECT_TRUE(rig.host.boxes.empty());
      EXPECT_EQ(rig.StatusText(), std::string(c.status));
      EXPECT_EQ(rig.StatusColour(), RGB(0, 255, 0));
      EXPECT_EQ(dlg.m_nHoldTicks, 1);
      EXPECT_TRUE(dlg.m_bStatusHold);
    } else {
      ASSERT_EQ(rig.host.boxes.size(), 1u);
      EXPECT_EQ(rig.host.boxes[0].text, "Exceed the Hardware supported !!");
      EXPECT_EQ(rig.host.boxes[0].type, MB_ICONINFORMATION | MB_OK);
      EXPECT_EQ(rig.StatusText(), "System Ready...");
    }
  }
}

class MainDlgImage : public ::testing::Test {
 protected:
  MainDlgImage() : dlg(rig.Open()) {}

  // Sets the path field to a file of `size` bytes, each `value`.
  void UseFile(std::size_t size, std::uint8_t value) {
    const std::string path = rig.programDir.Write("image.bin", std::vector<std::uint8_t>(size, value));
    rig.host.SetDlgItemText(IDC_IMAGE_PATH, (path));
  }

  MainDlgRig rig;
  CMainDlg& dlg;
};

// A path naming no file, a folder or a FIFO (read as binary or as HEX) gets
// the same box; the FIFO is not opened, which would hold the window for ever.
TEST(MainDlgImageOpen, UnopenablePathChangesNothing) {
  for (const std::string name : {"", "/", "/fifo.bin", "/fifo.hex"}) {
    SCOPED_TRACE(name);
    MainDlgRig rig;
    CMainDlg& dlg = rig.Open();
    const std::string path = name.empty() ? "DownLoad Firmware Path" : rig.programDir.path() + name;
    if (name.find("fifo") != std::string::npos) {
      ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    }
    rig.host.SetDlgItemText(IDC_IMAGE_PATH, path);
    EXPECT_EQ(dlg.OnLoadToBuffer(), 0);
    EXPECT_EQ(rig.StatusText(), "Load File To Buffer Fail !!");
    EXPECT_EQ(rig.StatusColour(), RGB(255, 0, 0));
    EXPECT_EQ(dlg.m_nHoldTicks, 1);
    ASSERT_EQ(rig.host.boxes.size(), 1u);
    EXPECT_EQ(rig.host.boxes[0].text,
              "File Open Fail !!\n\n\rClick 'Browser' to select Correct File ... ");
    EXPECT_EQ(rig.host.boxes[0].type, MB_ICONINFORMATION | MB_OK);
    EXPECT_EQ(rig.Text(dlg.m_lengthLabel), "0");
    EXPECT_EQ(rig.Text(dlg.m_checksumLabel), "0x00000000");
    EXPECT_EQ(rig.Colour(dlg.m_checksumLabel), RGB(127, 0, 0));
  }
}

TEST_F(MainDlgImage, ShortFileIsFilledWithZerosToTheSelectedSize) {
  std::memset(dlg.m_pImage, 0xAA, 0x20000);
  dlg.m_nRomSize = 0;
  UseFile(1000, 8);
  EXPECT_EQ(dlg.OnLoadToBuffer(), 1);
  EXPECT_EQ(rig.StatusText(), "Load File To Buffer OK!!");
  EXPECT_EQ(rig.StatusColour(), RGB(0, 0, 255));
  EXPECT_EQ(dlg.m_nImageLength, 1000u);
  EXPECT_EQ(rig.Text(dlg.m_lengthLabel), "1000");
  EXPECT_EQ(rig.Colour(dlg.m_lengthLabel), RGB(0, 255, 0));  // colour kept
  EXPECT_EQ(rig.Text(dlg.m_checksumLabel), "0X1F40");
  EXPECT_EQ(rig.Colour(dlg.m_checksumLabel), RGB(0, 0, 255));
  EXPECT_TRUE(std::all_of(dlg.m_pImage, dlg.m_pImage + 1000, [](auto b) { return b == 8; }));
  EXPECT_TRUE(std::all_of(dlg.m_pImage + 1000, dlg.m_pImage + 0x10000, [](auto b) { return b == 0; }));
  EXPECT_EQ(dlg.m_pImage[0x10000], 0xAA);
  EXPECT_TRUE(rig.host.boxes.empty());
}

TEST_F(MainDlgImage, EmptyFileLoads) {
  UseFile(0, 0);
  EXPECT_EQ(dlg.OnLoadToBuffer(), 1);
  EXPECT_EQ(rig.Text(dlg.m_lengthLabel), "0");
  EXPECT_EQ(rig.Text(dlg.m_checksumLabel), "0X0");
}

// The capacity check is against what the device holds, not the selection.
TEST_F(MainDlgImage, CapacityCheckAgainstTheSupportedSize) {
  const struct {
    std::uint8_t supported;
    int selected;
    std::size_t size;
    int result;
    const char* length;
    const char* checksum;  // every byte is 1
  } cases[] = {
      {0, 0, 0x10000, 1, "65536", "0X10000"},       // exactly the supported capacity
      {0, 0, 0x10001, 0, "65537", "0X10001"},       // one byte more
      {4, 1, 200000, 1, "200000", "0X30D40"},       // longer than the selection, within the device
      {255, 6, 0x400000, 1, "4194304", "0X400000"}, // capacity not recognised: no limit
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    rig.host.boxes.clear();
    dlg.m_supportedSizeCode = c.supported;
    dlg.m_nRomSize = c.selected;
    UseFile(c.size, 1);
    EXPECT_EQ(dlg.OnLoadToBuffer(), c.result);
    EXPECT_EQ(rig.StatusText(), "Load File To Buffer OK!!");
    EXPECT_EQ(rig.Text(dlg.m_lengthLabel), std::string(c.length));
    EXPECT_EQ(rig.Text(dlg.m_checksumLabel), std::string(c.checksum));
    if (c.result == 1) {
      EXPECT_TRUE(rig.host.boxes.empty());
    } else {
      ASSERT_EQ(rig.host.boxes.size(), 1u);
      EXPECT_EQ(rig.host.boxes[0].text,
                "File Size Exceed the Hardware supported !!");
      EXPECT_EQ(rig.host.boxes[0].type, MB_ICONINFORMATION | MB_OK);
    }
  }
}

TEST_F(MainDlgImage, WithoutABufferNothingLoads) {
  dlg.m_image.Release();
  dlg.m_pImage = nullptr;
  UseFile(10, 1);
  EXPECT_EQ(dlg.OnLoadToBuffer(), 0);
  EXPECT_EQ(rig.StatusText(), "Load File To Buffer Fail !!");
  EXPECT_EQ(rig.Text(dlg.m_lengthLabel), "0");
}

// HEX and S-record files: placed at the lowest address rounded down to the
// selected size, zeros in the gaps and over the rest of the selected size.
TEST(MainDlgRecordImage, LoadsPlacedBytesOrRefusesWithTheLineAtFault) {
  const struct {
    const char* name;
    const char* text;
    int result;
    const char* status;
    const char* box;  // after "<path>:"; nullptr: no box
  } cases[] = {
      {"a.hex", ":020000040001F9\n:020010001234A8\n:00000001FF\n", 1,
       "Load File To Buffer OK!! Base Address = 0x10000", nullptr},
      {"a.S28", "S0030000FC\nS2060100101234A2\nS804000000FB\n", 1,
       "Load File To Buffer OK!! Base Address = 0x10000", nullptr},
      {"bad.ihx", ":020000040001F9\n:020010001234A9\n:00000001FF\n", 0,
       "Load File To Buffer Fail !!", "2: bad checksum 0xA9, expected 0xA8"},
      {"far.hex", ":020000040001F9\n:020010001234A8\n:020000040002F8\n:0100000099"
                  "66\n:00000001FF\n",
       0, "Load File To Buffer Fail !!",
       "4: address 0x20000 past the supported capacity of 64 KBytes"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MainDlgRig rig;
    CMainDlg& dlg = rig.Open();
    dlg.m_supportedSizeCode = 0;
    dlg.m_nRomSize = 0;
    std::memset(dlg.m_pImage, 0xAA, 0x20000);
    const std::string text = c.text;
    const std::string path =
        rig.programDir.Write(c.name, std::vector<std::uint8_t>(text.begin(), text.end()));
    rig.host.SetDlgItemText(IDC_IMAGE_PATH, (path));
    EXPECT_EQ(dlg.OnLoadToBuffer(), c.result);
    EXPECT_EQ(rig.StatusText(), std::string(c.status));
    EXPECT_EQ(dlg.m_nHoldTicks, 1);
    if (c.box == nullptr) {
      EXPECT_TRUE(rig.host.boxes.empty());
      EXPECT_EQ(rig.StatusColour(), RGB(0, 0, 255));
      EXPECT_EQ(rig.Text(dlg.m_lengthLabel), "18");
      EXPECT_EQ(rig.Text(dlg.m_checksumLabel), "0X46");
      EXPECT_EQ(dlg.m_pImage[0x10], 0x12);
      EXPECT_EQ(dlg.m_pImage[0x11], 0x34);
      dlg.m_pImage[0x10] = dlg.m_pImage[0x11] = 0;
      EXPECT_TRUE(std::all_of(dlg.m_pImage, dlg.m_pImage + 0x10000, [](auto b) { return b == 0; }));
      EXPECT_EQ(dlg.m_pImage[0x10000], 0xAA);
    } else {
      EXPECT_EQ(rig.StatusColour(), RGB(255, 0, 0));
      ASSERT_EQ(rig.host.boxes.size(), 1u);
      EXPECT_EQ(rig.host.boxes[0].text, (path + ":" + c.box));
      EXPECT_EQ(rig.host.boxes[0].type, MB_ICONINFORMATION | MB_OK);
      EXPECT_EQ(rig.Text(dlg.m_lengthLabel), "0");
    }
  }
}

TEST_F(MainDlgImage, BrowserOffersTheFileTypesAndCancelDoesNothing) {
  rig.host.SetDlgItemText(IDC_IMAGE_PATH, "before.bin");
  rig.Click(IDC_BROWSE);
  ASSERT_EQ(rig.host.choosers.size(), 1u);
  EXPECT_EQ(rig.host.choosers[0].filter,
            "bin Files (*.bin)|*.bin|HEX Files (*.hex;*.ihx;*.ihex)|*.hex;*.ihx;*.ihex|"
                           "S-record Files (*.s19;*.s28;*.s37;*.srec;*.mot)|*.s19;*.s28;*.s37;*.srec;*.mot|"
                           "All Files(*.*)|*.*||");
  EXPECT_EQ(rig.host.choosers[0].title, "Open");
  EXPECT_EQ(rig.Text(IDC_IMAGE_PATH), "before.bin");
  EXPECT_TRUE(rig.host.boxes.empty());
}

TEST_F(MainDlgImage, BrowserPutsTheChosenPathInTheField) {
  rig.host.fileAnswers.push_back("/roms/chosen.bin");
  dlg.OnBrowser();
  EXPECT_EQ(rig.Text(IDC_IMAGE_PATH), "/roms/chosen.bin");
  EXPECT_EQ(dlg.m_szImagePath, "/roms/chosen.bin");
}

}  // namespace
}  // namespace kavlen
