// ROM size selection and loading the image file into the image buffer.

#include <algorithm>

#include "device/image_buffer.h"
#include "device/record_image_file.h"
#include "device/rom_capacity.h"
#include "device/str_printf.h"
#include "gui/main_dlg.h"

namespace kavlen {

void CMainDlg::OnRomSize(int code) {
  m_nRomSize = code;
  // Unsigned 8-bit comparison: a supported code of 255 allows every button.
  if (static_cast<std::uint8_t>(code) <= m_supportedSizeCode) {
    ShowRomSizeStatus();
  } else {
    MessageBox("Exceed the Hardware supported !!", MB_ICONINFORMATION | MB_OK);
  }
}

void CMainDlg::ShowRomSizeStatus() {
  if (!IsTransferSizeCode(static_cast<std::uint8_t>(m_nRomSize)) || m_nRomSize < 0) return;
  ShowStatus(StrPrintf("Select %dK Bytes...", 64 << m_nRomSize), kGreen, 1);
}

void CMainDlg::OnBrowser() {
  const std::string path = m_host.GetOpenFileName(
      "Open",
      "bin Files (*.bin)|*.bin|"
      "HEX Files (*.hex;*.ihx;*.ihex)|*.hex;*.ihx;*.ihex|"
      "S-record Files (*.s19;*.s28;*.s37;*.srec;*.mot)|*.s19;*.s28;*.s37;*.srec;*.mot|"
      "All Files(*.*)|*.*||");
  if (path.empty()) return;
  m_szImagePath = path;
  m_host.SetDlgItemText(IDC_IMAGE_PATH, path);
  OnDownload();
}

int CMainDlg::OnLoadToBuffer() {
  const std::string fileName = m_host.GetDlgItemText(IDC_IMAGE_PATH);
  const ImageFormat format = ImageFormatOfPath(fileName);
  if (format != ImageFormat::Binary) return LoadRecordsToBuffer(fileName, format);
  // A folder, a FIFO or a device is refused like a path that names no file.
  const GuiLoadedImage loaded =
      LoadImageForGui(fileName, static_cast<std::uint8_t>(m_nRomSize), m_image);

  const std::string loadFailed = "Load File To Buffer Fail !!";
  if (loaded.outcome == GuiImageLoad::OpenFailed) {
    ShowStatus(loadFailed, kRed, 1);
    MessageBox("File Open Fail !!\n\n\rClick 'Browser' to select Correct File ... ",
               MB_ICONINFORMATION | MB_OK);
    return 0;
  }
  // No buffer, or a read that broke off: what the buffer holds is not the
  // file, so nothing of it may be sent.
  if (loaded.outcome != GuiImageLoad::Loaded) {
    ShowStatus(loadFailed, kRed, 1);
    return 0;
  }

  ShowStatus("Load File To Buffer OK!!", kBlue, 1);
  ShowImageLoaded(loaded.length, loaded.checksum);

  if (!FitsCapacity(m_nImageLength, m_supportedSizeCode)) {
    MessageBox("File Size Exceed the Hardware supported !!",
               MB_ICONINFORMATION | MB_OK);
    return 0;
  }
  return 1;
}

void CMainDlg::ShowImageLoaded(std::uint32_t length, std::uint32_t checksum) {
  m_nImageLength = length;
  m_host.SetDlgItemText(m_lengthLabel, StrPrintf("%u", m_nImageLength));
  SetLabel(m_checksumLabel, kBlue, StrPrintf("0X%X", checksum));
}

// HEX and S-record files: the base is the lowest address rounded down to the
// selected size, gaps and the rest of the selected size are 0x00 as for a
// binary file, and a record past the device's capacity is refused outright.
int CMainDlg::LoadRecordsToBuffer(const std::string& fileName, ImageFormat format) {
  const std::string loadFailed = "Load File To Buffer Fail !!";
  if (m_pImage == nullptr) {
    ShowStatus(loadFailed, kRed, 1);
    return 0;
  }
  const std::uint8_t selected = static_cast<std::uint8_t>(m_nRomSize);
  PlacementRule rule;
  rule.sizeCode = selected;
  rule.supportedBytes = IsRomSizeCode(m_supportedSizeCode)
                            ? std::min(CapacityBytes(m_supportedSizeCode), kImageBufferSize)
                            : kImageBufferSize;
  rule.gapFill = 0x00;
  const RecordImage loaded = LoadRecordImageFile(fileName, format, rule, m_pImage);
  if (loaded.outcome == RecordLoad::OpenFailed) {
    ShowStatus(loadFailed, kRed, 1);
    MessageBox("File Open Fail !!\n\n\rClick 'Browser' to select Correct File ... ",
               MB_ICONINFORMATION | MB_OK);
    return 0;
  }
  if (loaded.outcome != RecordLoad::Loaded) {
    ShowStatus(loadFailed, kRed, 1);
    std::string line = RecordErrorLine(fileName, loaded.error);
    if (!line.empty() && line.back() == '\n') line.pop_back();
    MessageBox(line, MB_ICONINFORMATION | MB_OK);
    return 0;
  }
  FillPastImage(m_pImage, loaded.length, selected, 0x00);
  ShowStatus(StrPrintf("Load File To Buffer OK!! Base Address = 0x%X", loaded.base), kBlue, 1);
  ShowImageLoaded(loaded.length, ImageChecksum(m_pImage, loaded.length));
  return 1;
}

}  // namespace kavlen
