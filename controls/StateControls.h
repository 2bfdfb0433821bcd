// The members whose picture is chosen by a small state: displays set by the program and keys that
// also change their state when pressed (a toggle, a three-position cycle).
#pragma once

#include "controls/SkinnedControl.h"

#include <array>
#include <cstdint>

namespace controls {

// N image/mask pairs and a state 0..N-1; size from image 0, shape from mask 0.
class CStateControl : public CSkinnedControl {
public:
    int GetState() const noexcept { return m_state; }

protected:
    CStateControl(int states, bool savesBackground) noexcept : m_states(states), m_savesBackground(savesBackground) {}
    void LoadPairs(const uint16_t* imageIds, const uint16_t* maskIds);
    // Stores a state in range that differs from the current one; repaints without erasing.
    void ChangeState(int state);
    void SetStateUnchecked(int state) noexcept { m_state = state; }
    void DrawPair(const DRAWITEMSTRUCT& item, int pair);
    void Draw(const DRAWITEMSTRUCT& item) override { DrawPair(item, m_state); }
    int StateCount() const noexcept { return m_states; }
    // True at the first drawing of a press: a key repainted while held must not step again.
    bool PressBegins(const DRAWITEMSTRUCT& item) noexcept;

private:
    static constexpr int kMaxStates = 6;
    std::array<platform::UniqueBitmap, kMaxStates> m_images;
    std::array<platform::UniqueBitmap, kMaxStates> m_masks;
    int m_states;
    bool m_savesBackground;
    int m_state = 0;
    bool m_drawnPressed = false;
};

class CAfficheur2Etats : public CStateControl {
public:
    CAfficheur2Etats() noexcept : CStateControl(2, false) {}
    void SetBitmaps(uint16_t image0, uint16_t mask0, uint16_t image1, uint16_t mask1);
    // Any value is kept; every state other than 0 shows the second pair.
    void SetState(int state);

protected:
    void Draw(const DRAWITEMSTRUCT& item) override { DrawPair(item, GetState() != 0 ? 1 : 0); }
};

// A toggle key: each press flips the state before it is drawn.
class CBouton2Etats : public CAfficheur2Etats {
protected:
    void Draw(const DRAWITEMSTRUCT& item) override;
};

class CAfficheur3Etats : public CStateControl {
public:
    CAfficheur3Etats() noexcept : CStateControl(3, true) {}
    void SetBitmaps(uint16_t image0, uint16_t mask0, uint16_t image1, uint16_t mask1, uint16_t image2,
                    uint16_t mask2);
    void SetState(int state) { ChangeState(state); }
};

// A three-position key: each press advances 0 -> 1 -> 2 -> 0, unless the owner turned that off.
class CBoutonRond : public CStateControl {
public:
    CBoutonRond() noexcept : CStateControl(3, false) {}
    void SetBitmaps(uint16_t image0, uint16_t mask0, uint16_t image1, uint16_t mask1, uint16_t image2,
                    uint16_t mask2);
    void SetState(int state) { ChangeState(state); }
    void SetCycleOnPress(bool cycle) noexcept { m_cycleOnPress = cycle; }

protected:
    void Draw(const DRAWITEMSTRUCT& item) override;

private:
    int32_t m_cycleOnPress = 1;
};

class CAfficheur6Etats : public CStateControl {
public:
    CAfficheur6Etats() noexcept : CStateControl(6, true) {}
    // Six image ids and six mask ids; the low 16 bits of each entry are the id.
    void SetBitmaps(const uint32_t images[6], const uint32_t masks[6]);
    void SetState(int state) { ChangeState(state); }
};

} // namespace controls
