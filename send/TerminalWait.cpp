#include "TerminalWait.h"

#include <QByteArray>

namespace orvane::send {

namespace {

constexpr int barWidth = 30;

} // namespace

TerminalWait::TerminalWait(std::FILE *err, bool progressBar)
    : m_err(err)
    , m_progressBar(progressBar)
{}

void TerminalWait::runPrompted(const form::WaitPrompt &prompt,
                               const std::function<void(const std::atomic<bool> &)> &work)
{
    // In the terminal's words: the box's text speaks of a message about to go, which a
    // --sign-in does not send. Ctrl+C ends the wait, as it ends the program.
    QByteArray text = prompt.caption.toUtf8() + ":\n";
    if (!prompt.code.isEmpty())
        text += "  open   " + prompt.address.toUtf8() + "\n  on any device and enter the code   "
                + prompt.code.toUtf8() + "\n";
    else
        text += "  sign in in the browser window that has opened, or open\n  "
                + prompt.address.toUtf8() + "\n";
    text += "Waiting for the sign-in (Ctrl+C to give up)...\n";
    std::fputs(text.constData(), m_err);
    std::fflush(m_err);
    const std::atomic<bool> never{false};
    work(never);
}

void TerminalWait::uploaded(qint64 sent, qint64 total)
{
    if (!m_progressBar || total < barFrom)
        return;
    const int perMille = int(sent * 1000 / total);
    const std::lock_guard lock(m_mutex);
    if (perMille / 10 == m_shown / 10 && m_shown >= 0)
        return;
    m_shown = perMille;
    const int filled = perMille * barWidth / 1000;
    const QByteArray bar = QByteArray(filled, '#') + QByteArray(barWidth - filled, '.');
    std::fprintf(m_err, "\rSending [%s] %3d%% of %.1f MB", bar.constData(), perMille / 10,
                 double(total) / (1024.0 * 1024.0));
    std::fflush(m_err);
}

void TerminalWait::finish()
{
    const std::lock_guard lock(m_mutex);
    if (m_shown < 0)
        return;
    // Back to the start of the line, and the line cleared.
    std::fputs("\r\033[K", m_err);
    std::fflush(m_err);
    m_shown = -1;
}

} // namespace orvane::send
