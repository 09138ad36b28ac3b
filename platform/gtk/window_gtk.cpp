#include "platform/window.h"

#include <glib-unix.h>
#include <gtk/gtk.h>
#include <signal.h>
#include <unistd.h>

#include <climits>

#include "platform/gtk/gfx_internal.h"
#include "platform/gtk/toolkit_internal.h"
#include "platform/keys.h"
#include "platform/toolkit.h"

namespace plat {

struct CWnd::Impl {
    GtkWidget* pWindow = nullptr;
    GtkWidget* pArea = nullptr;
    guint idPaint = 0;
    GMainLoop* pLoop = nullptr;
    std::vector<GSource*> timers;
    std::vector<guint> signals;
    CDialog* pDialog = nullptr;

    // Stops the timers and signal watches and destroys the toolkit window.
    void Release() {
        for (const guint id : signals) {
            g_source_remove(id);
        }
        signals.clear();
        for (GSource* source : timers) {
            g_source_destroy(source);
            g_source_unref(source);
        }
        timers.clear();
        if (pWindow) {
            if (MainWindow() == GTK_WINDOW(pWindow)) {
                SetMainWindow(nullptr);
            }
            gtk_widget_destroy(pWindow);
            pWindow = nullptr;
            pArea = nullptr;
        }
    }

    ~Impl() {
        Release();
        if (idPaint) {
            g_source_remove(idPaint);
        }
        if (pLoop) {
            g_main_loop_unref(pLoop);
        }
    }
};

std::string ExecutableDir() {
    char buf[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
    if (n <= 0) {
        return ".";
    }
    std::string path(buf, static_cast<size_t>(n));
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

// ---- CWnd ----

CWnd::CWnd(int cx, int cy)
    : m_pImpl(std::make_unique<Impl>()), m_pSurface(std::make_unique<CSurface>(cx, cy)) {}

CWnd::~CWnd() = default;

std::unique_ptr<CDC> CWnd::GetDC() {
    GtkWidget* area = m_pImpl->pArea;
    return std::make_unique<CDC>(*m_pSurface, [area] {
        if (area) {
            gtk_widget_queue_draw(area);
        }
    });
}

void CWnd::SchedulePaint() {
    if (m_pImpl->pWindow) {
        m_pImpl->idPaint = g_idle_add(
            [](gpointer self) -> gboolean {
                auto* wnd = static_cast<CWnd*>(self);
                wnd->m_pImpl->idPaint = 0;
                wnd->DispatchPendingPaint();
                return G_SOURCE_REMOVE;
            },
            this);
    }
}

void* CWnd::GetNativeWindow() const {
    return m_pImpl->pWindow;
}

bool CWnd::IsIconic() const {
    if (!m_pImpl->pWindow) {
        return false;
    }
    GdkWindow* win = gtk_widget_get_window(m_pImpl->pWindow);
    return win && (gdk_window_get_state(win) & GDK_WINDOW_STATE_ICONIFIED);
}

// ---- toolkit callbacks ----

namespace {

gboolean OnDraw(GtkWidget*, cairo_t* cr, gpointer self) {
    const auto* wnd = static_cast<const CWnd*>(self);
    cairo_set_source_surface(cr, wnd->GetSurface().GetImpl()->pSurface, 0, 0);
    cairo_paint(cr);
    return TRUE;
}

// The unshifted value of the event's physical key in every layout, by layout.
std::vector<unsigned> KeyvalsInLayouts(const GdkEventKey* event) {
    std::vector<unsigned> out;
    GdkKeymap* keymap = gdk_keymap_get_for_display(gdk_window_get_display(event->window));
    GdkKeymapKey* keys = nullptr;
    guint* keyvals = nullptr;
    gint n = 0;
    if (!keymap ||
        !gdk_keymap_get_entries_for_keycode(keymap, event->hardware_keycode, &keys, &keyvals, &n))
        return out;
    for (gint group = 0; group < 4; ++group)
        for (gint i = 0; i < n; ++i)
            if (keys[i].group == group && keys[i].level == 0)
                out.push_back(keyvals[i]);
    g_free(keys);
    g_free(keyvals);
    return out;
}

gboolean OnKeyEvent(GtkWidget*, GdkEventKey* event, gpointer self) {
    const unsigned message = event->type == GDK_KEY_PRESS ? WM_KEYDOWN : WM_KEYUP;
    unsigned vk = VirtualKeyFromKeyval(event->keyval);
    if (vk == VK_OTHER)
        vk = VirtualKeyFromKeyvals(event->keyval, KeyvalsInLayouts(event));
    static_cast<CDialog*>(self)->DeliverKey(message, vk);
    return TRUE;  // no toolkit focus moves or shortcuts in the game window
}

gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer self) {
    static_cast<CDialog*>(self)->DeliverClose();
    return TRUE;  // the window goes in DestroyWindow, after the settings are saved
}

struct TimerData {
    CDialog* pDialog;
    unsigned id;
};

// A terminal's Ctrl+C or a session's shutdown ends the program the way a
// close request does, so the settings are saved.
gboolean OnQuitSignal(gpointer self) {
    static_cast<CDialog*>(self)->DeliverClose();
    return G_SOURCE_CONTINUE;
}

gboolean OnTimerSource(gpointer data) {
    const auto* timer = static_cast<const TimerData*>(data);
    timer->pDialog->DeliverTimer(timer->id);
    return G_SOURCE_CONTINUE;
}

}  // namespace

// ---- CDialog ----

CDialog::CDialog(std::string caption, int cxDlu, int cyDlu)
    : CWnd(DluToPixelsX(cxDlu), DluToPixelsY(cyDlu)), m_strCaption(std::move(caption)) {
    m_pImpl->pDialog = this;
}

CDialog::~CDialog() = default;

int CDialog::DoModal() {
    if (!ToolkitReady()) {
        return -1;
    }
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    m_pImpl->pWindow = window;
    if (!MainWindow()) {
        SetMainWindow(GTK_WINDOW(window));  // the first is the program's own
    }
    gtk_window_set_title(GTK_WINDOW(window), m_strCaption.c_str());
    gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
    // A dialog window: window managers offer no minimise or maximise for it.
    gtk_window_set_type_hint(GTK_WINDOW(window), GDK_WINDOW_TYPE_HINT_DIALOG);
    gtk_window_move(GTK_WINDOW(window), 0, 0);

    GtkWidget* area = gtk_drawing_area_new();
    m_pImpl->pArea = area;
    gtk_widget_set_size_request(area, m_pSurface->GetWidth(), m_pSurface->GetHeight());
    gtk_widget_set_can_focus(area, TRUE);
    AtkObject* access = gtk_widget_get_accessible(area);
    atk_object_set_name(access, m_strCaption.c_str());
    atk_object_set_description(access, "Game field. Everything on it is also heard.");
    gtk_container_add(GTK_CONTAINER(window), area);

    g_signal_connect(area, "draw", G_CALLBACK(OnDraw), static_cast<CWnd*>(this));
    g_signal_connect(window, "key-press-event", G_CALLBACK(OnKeyEvent), this);
    g_signal_connect(window, "key-release-event", G_CALLBACK(OnKeyEvent), this);
    g_signal_connect(window, "delete-event", G_CALLBACK(OnDelete), this);

    for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
        m_pImpl->signals.push_back(g_unix_signal_add(sig, OnQuitSignal, this));
    }
    m_pImpl->pLoop = g_main_loop_new(nullptr, FALSE);
    gtk_widget_show_all(window);
    gtk_widget_grab_focus(area);
    OnInitDialog();
    PostPaint();
    if (!m_bEnded) {
        g_main_loop_run(m_pImpl->pLoop);
    }
    DestroyWindow();
    return m_nResult;
}

void CDialog::QuitModalLoop() {
    if (m_pImpl->pLoop) {
        g_main_loop_quit(m_pImpl->pLoop);
    }
}

bool CDialog::SetTimer(unsigned id, unsigned ms) {
    GSource* source = g_timeout_source_new(ms);
    // Ticks must keep arriving while a message box or dialog runs its own
    // loop inside OnTimer.
    g_source_set_can_recurse(source, TRUE);
    g_source_set_callback(source, OnTimerSource, new TimerData{this, id},
                          [](gpointer data) { delete static_cast<TimerData*>(data); });
    g_source_attach(source, nullptr);
    m_pImpl->timers.push_back(source);
    return true;
}

void CDialog::SetIcon(const std::vector<std::string>& pngFiles) {
    if (!m_pImpl->pWindow) {
        return;
    }
    GList* list = nullptr;
    for (const std::string& file : pngFiles) {
        if (GdkPixbuf* pixbuf = gdk_pixbuf_new_from_file(file.c_str(), nullptr)) {
            list = g_list_append(list, pixbuf);
        }
    }
    if (list) {
        gtk_window_set_icon_list(GTK_WINDOW(m_pImpl->pWindow), list);
    }
    g_list_free_full(list, g_object_unref);
}

bool CDialog::DestroyWindow() {
    m_pImpl->Release();
    return true;
}

}  // namespace plat
