// State-driven members (see StateControls.h).
#include "controls/StateControls.h"

namespace controls {

void CStateControl::LoadPairs(const uint16_t* imageIds, const uint16_t* maskIds) {
    for (int i = 0; i < kMaxStates; ++i) {
        m_images[i].Reset();
        m_masks[i].Reset();
    }
    for (int i = 0; i < m_states; ++i) {
        m_images[i] = LoadSkinBitmap(imageIds[i]);
        m_masks[i] = LoadSkinBitmap(maskIds[i]);
    }
    ApplyBitmaps(m_images[0].Get(), m_masks[0].Get());
}

void CStateControl::ChangeState(int state) {
    if (state < 0 || state >= m_states || state == m_state)
        return;
    m_state = state;
    RepaintWithoutErasing();
}

void CStateControl::DrawPair(const DRAWITEMSTRUCT& item, int pair) {
    if (pair < 0 || pair >= m_states)
        return;
    if (m_savesBackground)
        RestoreBackground(item.hDC, item.rcItem);
    DrawMasked(item.hDC, item.rcItem, m_images[pair].Get(), m_masks[pair].Get());
}

bool CStateControl::PressBegins(const DRAWITEMSTRUCT& item) noexcept {
    const bool pressed = IsPressed(item);
    const bool begins = pressed && !m_drawnPressed;
    m_drawnPressed = pressed;
    return begins;
}

void CAfficheur2Etats::SetBitmaps(uint16_t image0, uint16_t mask0, uint16_t image1, uint16_t mask1) {
    const uint16_t images[2] = {image0, image1}, masks[2] = {mask0, mask1};
    LoadPairs(images, masks);
}

void CAfficheur2Etats::SetState(int state) {
    if (state == GetState())
        return;
    SetStateUnchecked(state);
    RepaintWithoutErasing();
}

void CBouton2Etats::Draw(const DRAWITEMSTRUCT& item) {
    if (PressBegins(item))
        SetStateUnchecked(GetState() == 0 ? 1 : 0);
    CAfficheur2Etats::Draw(item);
}

void CAfficheur3Etats::SetBitmaps(uint16_t image0, uint16_t mask0, uint16_t image1, uint16_t mask1,
                                  uint16_t image2, uint16_t mask2) {
    const uint16_t images[3] = {image0, image1, image2}, masks[3] = {mask0, mask1, mask2};
    LoadPairs(images, masks);
}

void CBoutonRond::SetBitmaps(uint16_t image0, uint16_t mask0, uint16_t image1, uint16_t mask1, uint16_t image2,
                             uint16_t mask2) {
    const uint16_t images[3] = {image0, image1, image2}, masks[3] = {mask0, mask1, mask2};
    LoadPairs(images, masks);
}

void CBoutonRond::Draw(const DRAWITEMSTRUCT& item) {
    if (PressBegins(item) && m_cycleOnPress)
        SetStateUnchecked((GetState() + 1) % StateCount());
    DrawPair(item, GetState());
}

void CAfficheur6Etats::SetBitmaps(const uint32_t images[6], const uint32_t masks[6]) {
    uint16_t imageIds[6], maskIds[6];
    for (int i = 0; i < 6; ++i) {
        imageIds[i] = static_cast<uint16_t>(images[i] & 0xFFFF);
        maskIds[i] = static_cast<uint16_t>(masks[i] & 0xFFFF);
    }
    LoadPairs(imageIds, maskIds);
}

} // namespace controls
