#pragma once

#include <algorithm>
#include <string>

// A progress bar as the run drives it: range, step, step once, position. The range is a full
// int, not the 16 bits of PBM_SETRANGE, so a run of more than 65,535 files still shows.
class CProgressBar {
public:
    virtual ~CProgressBar() = default;

    void SetRange(int low, int high) {
        m_low = low;
        m_high = high;
        m_pos = std::clamp(m_pos, low, std::max(low, high));
        Changed();
    }
    void SetStep(int step) { m_step = step; }
    // Past the top the bar starts over from the bottom, as PBM_STEPIT does.
    void StepIt() {
        m_pos += m_step;
        if (m_pos > m_high) {
            m_pos = m_low;
        }
        Changed();
    }
    void SetPos(int pos) {
        m_pos = std::clamp(pos, m_low, std::max(m_low, m_high));
        Changed();
    }

    int Low() const { return m_low; }
    int High() const { return m_high; }
    int Pos() const { return m_pos; }

protected:
    // A front end redraws here.
    virtual void Changed() {}

private:
    int m_low = 0;
    int m_high = 100;
    int m_step = 10;
    int m_pos = 0;
};

// The progress window as the run sees it: seven text fields that the run fills and then
// transfers to the screen all at once, and two bars. The window itself is the front end's.
class CRunProgress {
public:
    virtual ~CRunProgress() = default;

    // Shows the seven fields as they now stand.
    virtual void UpdateData() = 0;
    virtual CProgressBar& FileBar() = 0;
    virtual CProgressBar& UrlBar() = 0;

    std::string m_fileText;
    std::string m_fileIndex;
    std::string m_fileTotal;
    std::string m_urlText;
    std::string m_anchorText;
    std::string m_urlIndex;
    std::string m_urlTotal;
};
