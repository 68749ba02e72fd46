/// @file
/// Windows in the framework's shape: CWnd and the kinds the library and its
/// callers use (CView, CFrameWnd with a CStatusBar, CDialog made from a
/// template with child controls found by identifier, CStatic, CButton), and the
/// application thread that owns the main window and pumps messages.
///
/// ```
/// CFrameWnd frame;
/// frame.Create(nullptr, "Map");            // FALSE without a window system
/// CStatusBar status;
/// status.Create(&frame);
/// CMapView view;                           // a CView with its own OnDraw
/// view.Create(nullptr, nullptr, AFX_WS_DEFAULT_VIEW, CRect(), &frame, AFX_IDW_PANE_FIRST);
/// frame.RecalcLayout();
/// AfxGetThread()->m_pMainWnd = &frame;
/// frame.ShowWindow(SW_SHOW);
/// AfxGetThread()->Run();                   // until WM_QUIT
/// ```
///
/// Ownership: a CWnd object is the caller's; its destructor destroys the
/// window. Destroying a window destroys its children first, and the top-level
/// windows it owns (a dialog made with it as parent). A window object
/// may be destroyed from inside one of its own handlers (PostNcDestroy is the
/// last call it gets); messages still queued for it are dropped.
///
/// Differences from the framework:
/// - No message maps: a window's messages reach the virtual handlers below
///   (OnPaint, OnLButtonDown, ...), which derived classes override with the
///   framework's signatures. OnCommand routes WM_COMMAND.
/// - CWnd::FromHandle answers null for a handle without an object (it never
///   makes temporary objects).
/// - Dialog templates are records registered by name in code (SetDialogTemplate),
///   not compiled resources; dialogs are modeless (Create), there is no DoModal.
/// - Windows are drawn by the library (controls included) with the window
///   system's font; there are no menus, scroll bars, timers or keyboard focus.
#pragma once

#include <string>
#include <vector>

#include "vdkit/platform/cstring.h"
#include "vdkit/platform/dc.h"
#include "vdkit/platform/rect.h"
#include "vdkit/platform/window_system.h"

// ---- Styles, commands and identifiers --------------------------------------------------
enum : DWORD {
  WS_OVERLAPPED = 0x00000000,
  WS_POPUP = 0x80000000,
  WS_CHILD = 0x40000000,
  WS_VISIBLE = 0x10000000,
  WS_DISABLED = 0x08000000,
  WS_CAPTION = 0x00C00000,
  WS_BORDER = 0x00800000,
  WS_DLGFRAME = 0x00400000,
  WS_SYSMENU = 0x00080000,
  WS_THICKFRAME = 0x00040000,
  WS_GROUP = 0x00020000,
  WS_TABSTOP = 0x00010000,
  WS_OVERLAPPEDWINDOW = 0x00CF0000,
  DS_MODALFRAME = 0x00000080,
  DS_SETFONT = 0x00000040,
  SS_LEFT = 0x00000000,
  SS_CENTER = 0x00000001,
  BS_PUSHBUTTON = 0x00000000,
  AFX_WS_DEFAULT_VIEW = WS_CHILD | WS_VISIBLE | WS_BORDER,
};
enum : int { SW_HIDE = 0, SW_SHOWNORMAL = 1, SW_SHOWNA = 8, SW_SHOW = 5 };
enum : UINT {
  SWP_NOSIZE = 0x0001,
  SWP_NOMOVE = 0x0002,
  SWP_NOZORDER = 0x0004,
  SWP_NOREDRAW = 0x0008,
  SWP_NOACTIVATE = 0x0010,
  SWP_SHOWWINDOW = 0x0040,
  SWP_HIDEWINDOW = 0x0080
};
enum : UINT { AFX_IDW_STATUS_BAR = 0xE801, AFX_IDW_PANE_FIRST = 0xE900 };

/// Window class names the library knows; any other name (or null) is a plain window.
///@{
#define WC_STATIC "Static"
#define WC_BUTTON "Button"
#define PROGRESS_CLASS "msctls_progress32"
#define STATUSCLASSNAME "msctls_statusbar32"
///@}

class CDataExchange;
struct CPrintInfo;

// ---- CWnd -------------------------------------------------------------------------------
/// A window in the framework's shape: a handle, state and geometry, and the
/// virtual handlers its messages reach (see the file's description).
class VDKIT_API CWnd {
 public:
  CWnd();
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;
  virtual ~CWnd();  ///< destroys the window, if any

  HWND m_hWnd = nullptr;  ///< the window, or null
  /// The window's handle; null without a window.
  ///@{
  HWND GetSafeHwnd() const { return m_hWnd; }
  operator HWND() const { return m_hWnd; }
  ///@}
  /// The object of a live window; null for a stale handle or one without an object.
  static CWnd* FromHandle(HWND hWnd);

  // ---- Creation and destruction
  /// lpszClassName: WC_STATIC, WC_BUTTON, PROGRESS_CLASS, STATUSCLASSNAME or
  /// null. rect: in the parent's client coordinates (screen for a top-level
  /// window). FALSE without a window system or when the native window fails.
  virtual BOOL Create(LPCSTR lpszClassName, LPCSTR lpszWindowName, DWORD dwStyle, const RECT& rect,
                      CWnd* pParentWnd, UINT nID, void* pContext = nullptr);
  /// Create; the extended style is accepted and ignored.
  BOOL CreateEx(DWORD dwExStyle, LPCSTR lpszClassName, LPCSTR lpszWindowName, DWORD dwStyle, const RECT& rect,
                CWnd* pParentWnd, UINT nID, void* lpParam = nullptr);
  virtual BOOL DestroyWindow();  ///< destroys the window and its children; FALSE without one
  /// Gives this object the window of hWnd (a dialog's control); the object
  /// that had it lets it go. FALSE when this object has a window already.
  BOOL SubclassWindow(HWND hWnd);
  BOOL SubclassDlgItem(UINT nID, CWnd* pParent);  ///< SubclassWindow of pParent's child nID

  // ---- State
  BOOL ShowWindow(int nCmdShow);           ///< SW_SHOW, SW_HIDE ...; answers whether it was visible
  BOOL IsWindowVisible() const;            ///< visible, and so are its ancestors
  BOOL EnableWindow(BOOL bEnable = TRUE);  ///< answers whether it was disabled before
  BOOL IsWindowEnabled() const;            ///< whether it takes input
  void SetWindowText(LPCSTR lpszString);   ///< the title or the control's text
  /// The text: into a buffer of nMaxCount bytes (cut, terminated; the length
  /// copied), or a CString.
  ///@{
  int GetWindowText(LPSTR lpszStringBuf, int nMaxCount) const;
  void GetWindowText(CString& rString) const;
  ///@}
  int GetWindowTextLength() const;  ///< the text's length
  DWORD GetStyle() const;           ///< the WS_ style
  /// The identifier among its siblings; SetDlgCtrlID answers the old one.
  ///@{
  int GetDlgCtrlID() const;
  int SetDlgCtrlID(int nID);
  ///@}
  CWnd* GetParent() const;          ///< the parent's object (a top-level window's owner), or null
  CWnd* GetDlgItem(int nID) const;  ///< the child with that identifier, or null

  // ---- Geometry
  void GetClientRect(LPRECT lpRect) const;  ///< (0, 0, width, height)
  void GetWindowRect(LPRECT lpRect) const;  ///< in screen coordinates
  /// New rectangle, in the parent's client coordinates (screen for a top-level
  /// window).
  ///@{
  void MoveWindow(int x, int y, int nWidth, int nHeight, BOOL bRepaint = TRUE);
  void MoveWindow(LPCRECT lpRect, BOOL bRepaint = TRUE);
  ///@}
  /// Moves, sizes, shows or hides by the SWP_ flags.
  BOOL SetWindowPos(const CWnd* pWndInsertAfter, int x, int y, int cx, int cy, UINT nFlags);
  void BringWindowToTop();                             ///< raises a top-level window
  void CenterWindow(CWnd* pAlternateOwner = nullptr);  ///< on the owner, else on the screen
  /// Converts between client and screen coordinates, in place.
  ///@{
  void ClientToScreen(LPPOINT lpPoint) const;
  void ClientToScreen(LPRECT lpRect) const;
  void ScreenToClient(LPPOINT lpPoint) const;
  void ScreenToClient(LPRECT lpRect) const;
  ///@}
  static const CWnd wndTop;  ///< the top of the z-order, for SetWindowPos

  // ---- Painting and input
  void Invalidate(BOOL bErase = TRUE);  ///< the whole client area is to be painted
  void UpdateWindow();                  ///< paints now if needed
  CDC* GetDC();                         ///< give it back with ReleaseDC
  int ReleaseDC(CDC* pDC);              ///< gives back a context of GetDC; 1
  /// The mouse capture: SetCapture answers the previous holder; GetCapture the
  /// holder, or null.
  ///@{
  CWnd* SetCapture();
  static CWnd* GetCapture();
  ///@}
  /// The free functions of the same names, for this window.
  ///@{
  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
  BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
  ///@}

  /// Every message of the window comes here first; the default sends it to the
  /// handlers below and the rest to DefWindowProc.
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

 protected:
  /// The window class's own handling: painting and clicks of controls,
  /// background erasing, WM_CLOSE destroying the window.
  virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  /// DefWindowProc for the message being handled.
  LRESULT Default();
  /// WM_COMMAND: LOWORD(wParam) the identifier, HIWORD the notification.
  virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
  /// The last call a window object gets, after its window is gone.
  virtual void PostNcDestroy() {}

  virtual void OnDestroy() {}  ///< WM_DESTROY; nothing by default
  virtual void OnClose();      ///< default: DestroyWindow()
  /// The defaults of these handlers call Default().
  ///@{
  virtual void OnPaint();
  virtual BOOL OnEraseBkgnd(CDC* pDC);
  virtual void OnSize(UINT nType, int cx, int cy);
  virtual void OnMouseMove(UINT nFlags, CPoint point);
  virtual void OnLButtonDown(UINT nFlags, CPoint point);
  virtual void OnLButtonUp(UINT nFlags, CPoint point);
  virtual void OnLButtonDblClk(UINT nFlags, CPoint point);
  virtual void OnRButtonDown(UINT nFlags, CPoint point);
  virtual void OnRButtonUp(UINT nFlags, CPoint point);
  virtual void OnKeyDown(UINT nChar, UINT nRepCnt, UINT nFlags);
  ///@}

  /// vdkit: the background colour the window is created with (white; the
  /// face colour for controls, dialogs and frames).
  virtual COLORREF GetBackgroundColor() const;

 private:
  friend struct WindowAccess;
  BOOL CreateWindowObject(LPCSTR lpszClassName, LPCSTR lpszWindowName, DWORD dwStyle, const RECT& rect,
                          HWND hParent, HWND hOwner, UINT nID);
};

// ---- Views, frames and status bars ------------------------------------------------------
/// A window that draws a document: OnPaint prepares a context with
/// OnPrepareDC (where a view sets its mapping) and calls OnDraw.
class VDKIT_API CView : public CWnd {
 public:
  /// Sets the context's mapping; nothing by default.
  virtual void OnPrepareDC(CDC* pDC, CPrintInfo* pInfo = nullptr);

 protected:
  virtual void OnDraw(CDC* pDC) = 0;  ///< draws the view on a prepared context
  void OnPaint() override;
};

/// A status bar along the bottom of a frame, showing its first pane.
class VDKIT_API CStatusBar : public CWnd {
 public:
  /// The bar as child nID of the frame.
  BOOL Create(CWnd* pParentWnd, DWORD dwStyle = WS_CHILD | WS_VISIBLE, UINT nID = AFX_IDW_STATUS_BAR);
  /// Panes other than the first are accepted and not shown.
  BOOL SetIndicators(const UINT* lpIDArray, int nIDCount);
  /// A pane's text; only pane 0 is shown.
  BOOL SetPaneText(int nIndex, LPCSTR lpszNewText, BOOL bUpdate = TRUE);
  static int Height();  ///< vdkit: the bar's height in pixels
};

/// A top-level window holding a view and a status bar.
class VDKIT_API CFrameWnd : public CWnd {
 public:
  static const CRect rectDefault;  ///< see Create
  /// A top-level window; rectDefault places it at (40, 40), 640 x 480.
  BOOL Create(LPCSTR lpszClassName, LPCSTR lpszWindowName, DWORD dwStyle = WS_OVERLAPPEDWINDOW,
              const RECT& rect = rectDefault, CWnd* pParentWnd = nullptr, LPCSTR lpszMenuName = nullptr,
              DWORD dwExStyle = 0, void* pContext = nullptr);
  /// The status bar (child AFX_IDW_STATUS_BAR) or null.
  virtual CWnd* GetMessageBar();
  /// Puts the status bar along the bottom and the view (child
  /// AFX_IDW_PANE_FIRST) over the rest.
  virtual void RecalcLayout(BOOL bNotify = TRUE);
  /// The view set last, else the child AFX_IDW_PANE_FIRST when it is a view.
  CView* GetActiveView() const;
  void SetActiveView(CView* pViewNew, BOOL bNotify = TRUE);  ///< the view GetActiveView answers

 protected:
  void OnSize(UINT nType, int cx, int cy) override;
  void OnDestroy() override;
  COLORREF GetBackgroundColor() const override;

 private:
  CView* m_pViewActive = nullptr;
};

// ---- Controls -------------------------------------------------------------------------------
/// A control's look and behaviour belong to its window class, as on the
/// platform: an object that subclasses a control keeps them unless it handles
/// the messages itself.
/// Static text: its text, wrapped at word breaks.
class VDKIT_API CStatic : public CWnd {
 public:
  /// A static control (WC_STATIC).
  BOOL Create(LPCSTR lpszText, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID = 0xffff);
};

/// A push button: a left click released over it sends WM_COMMAND (its
/// identifier, BN_CLICKED) to its parent. A disabled button gets no clicks.
class VDKIT_API CButton : public CWnd {
 public:
  /// A button (WC_BUTTON).
  BOOL Create(LPCSTR lpszCaption, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID);
};

// ---- Dialogs ---------------------------------------------------------------------------------
/// A dialog template: sizes in dialog units (a quarter of the font's average
/// character width across, an eighth of its height down).
struct SDialogItem {
  std::string className;  ///< WC_BUTTON, WC_STATIC, PROGRESS_CLASS, ...
  std::string text;       ///< its text
  DWORD style;            ///< its WS_ and class style
  /// Position and size in dialog units.
  ///@{
  short x, y, cx, cy;
  ///@}
  WORD id;  ///< its identifier
};
/// A dialog: its frame and the controls in it.
struct SDialogTemplate {
  DWORD style;  ///< the dialog's style
  /// Position and size in dialog units.
  ///@{
  short x, y, cx, cy;
  ///@}
  std::string caption;             ///< its title
  std::string fontName;            ///< the font named (the window system's font is used)
  WORD pointSize;                  ///< the font size named
  std::vector<SDialogItem> items;  ///< the controls, in order
};
/// Registers (or with null, removes) a template under a name compared without
/// regard to ASCII case; FindDialogTemplate gives it, or null. The library
/// registers its own before it first uses them.
///@{
VDKIT_API void SetDialogTemplate(LPCSTR lpszName, const SDialogTemplate* pTemplate);
VDKIT_API const SDialogTemplate* FindDialogTemplate(LPCSTR lpszName);
///@}
/// Pixels of a dialog-unit rectangle in the window system's font.
VDKIT_API CRect MapDialogUnits(short x, short y, short cx, short cy);

/// The direction of a dialog's data exchange (DoDataExchange).
class VDKIT_API CDataExchange {
 public:
  /// An exchange for the dialog in that direction.
  CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate)
      : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}
  BOOL m_bSaveAndValidate;  ///< TRUE: controls to members; FALSE: members to controls
  CWnd* m_pDlgWnd;          ///< the dialog
};
/// Attaches the dialog's control nIDC to rControl (once).
VDKIT_API void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);

/// A modeless dialog made from a template registered by name (see the file's
/// description).
class VDKIT_API CDialog : public CWnd {
 public:
  CDialog() = default;
  /// Remembers the template and parent for Create.
  explicit CDialog(LPCSTR lpszTemplateName, CWnd* pParentWnd = nullptr);
  ~CDialog() override;
  /// A modeless dialog from the template, owned by pParentWnd (may be null): its
  /// controls are made, then OnInitDialog runs. FALSE without a window system
  /// or for an unknown template.
  virtual BOOL Create(LPCSTR lpszTemplateName, CWnd* pParentWnd = nullptr);
  BOOL UpdateData(BOOL bSaveAndValidate = TRUE);  ///< runs DoDataExchange in that direction; TRUE
  /// Modeless: hides the dialog.
  void EndDialog(int nResult);

 protected:
  virtual BOOL OnInitDialog();  ///< runs DoDataExchange through UpdateData(FALSE)
  /// Binds controls to members; nothing by default.
  virtual void DoDataExchange(CDataExchange* pDX) { (void)pDX; }
  virtual void OnOK();                                    ///< IDOK: UpdateData, then EndDialog(IDOK)
  virtual void OnCancel();                                ///< IDCANCEL: EndDialog(IDCANCEL)
  BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;  ///< IDOK, IDCANCEL
  COLORREF GetBackgroundColor() const override;

  LPCSTR m_lpszTemplateName = nullptr;  ///< the template's name
  CWnd* m_pParentWnd = nullptr;         ///< the owner given

 private:
  std::vector<CWnd*> m_controls;  ///< the objects made for the template's controls
  void DestroyControlObjects();
  void PostNcDestroy() override;
};

// ---- The application thread ----------------------------------------------------------------
/// The user-interface thread: its main window and message pump.
class VDKIT_API CWinThread {
 public:
  CWinThread() = default;
  CWinThread(const CWinThread&) = delete;
  CWinThread& operator=(const CWinThread&) = delete;
  virtual ~CWinThread();

  /// The main window: cleared when it is destroyed, which also posts WM_QUIT.
  CWnd* m_pMainWnd = nullptr;
  MSG m_msgCur{};                                    ///< the message being dispatched
  virtual CWnd* GetMainWnd() { return m_pMainWnd; }  ///< m_pMainWnd
  /// Retrieves and dispatches one message; FALSE for WM_QUIT (or when no
  /// message can come).
  virtual BOOL PumpMessage();
  /// Pumps until WM_QUIT; answers its exit code (-1 when input ended first).
  virtual int Run();
};

/// The application object: a thread with a name.
class VDKIT_API CWinApp : public CWinThread {
 public:
  /// Becomes the application (AfxGetApp) until destroyed. Name null: the program's name.
  explicit CWinApp(LPCSTR lpszAppName = nullptr);
  ~CWinApp() override;
  LPCSTR m_pszAppName;  ///< the application's name

 private:
  std::string m_name;
};

/// The application object, or null when the host made none.
VDKIT_API CWinApp* AfxGetApp();
/// The thread: the application, or the library's own thread object without one.
VDKIT_API CWinThread* AfxGetThread();
VDKIT_API CWnd* AfxGetMainWnd();  ///< the thread's main window, or null
/// The application's name, else the program's name.
VDKIT_API LPCSTR AfxGetAppName();
