#include "gui/qt/controls/about_dlg.h"

#include "gui/qt/controls/link_label.h"
#include "gui/maker_info.h"
#include "gui/resource_ids.h"
#include "kavlen_version.h"

namespace kavlen {

namespace {

constexpr COLORREF kLinkColour = RGB(64, 128, 255);
constexpr COLORREF kHoverColour = RGB(255, 0, 0);
constexpr COLORREF kVisitedColour = RGB(0, 13, 0);

void SetLinkColours(CLinkLabel& link) {
  link.SetLinkColor(kLinkColour);
  link.SetHoverColor(kHoverColour);
  link.SetVisitedColor(kVisitedColour);
}

}  // namespace

CAboutDlg::CAboutDlg(UiServices& services, QWidget* owner)
    : QDialog(owner),
      m_controls(BuildDialog(*this, AboutDialogTemplate(), &services)),
      m_pWebLink(m_controls.ItemAs<CLinkLabel>(IDC_WEB_LINK)),
      m_pMailLink(m_controls.ItemAs<CLinkLabel>(IDC_MAIL_LINK)) {
  OnInitDialog();
}

CAboutDlg::~CAboutDlg() = default;

void CAboutDlg::OnInitDialog() {
  m_controls.SetDlgItemText(IDC_ABOUT_VERSION, QStringLiteral("version " KAVLEN_VERSION));
  // The shell reads a bare host name as a web site.
  m_pWebLink->SetTarget(QStringLiteral(KAVLEN_MAKER_WEB_HOST));
  m_pWebLink->EnableTip(true);
  m_pWebLink->SetTipText(QStringLiteral("Click Here to go " KAVLEN_MAKER_NAME));
  m_pWebLink->SetTipBkColor(RGB(0, 0, 0));
  m_pWebLink->SetTipTextColor(RGB(0, 255, 0));
  SetLinkColours(*m_pWebLink);

  m_pMailLink->SetTarget(QStringLiteral("mailto:" KAVLEN_MAKER_EMAIL));
  m_pMailLink->EnableTip(true);
  m_pMailLink->SetTipText(QStringLiteral("Click here to Email "));
  SetLinkColours(*m_pMailLink);
}

void OnAbout(QWidget* owner, UiServices& services) {
  CAboutDlg dialog(services, owner);
  dialog.exec();
}

}  // namespace kavlen
