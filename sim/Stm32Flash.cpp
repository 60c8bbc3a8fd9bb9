// Flash cells of the simulated STM32: erase sets 0xFF, programming needs erased half-words.
#include "sim/Stm32Flash.h"

namespace {
constexpr char Erased = char(0xFF);
}

Stm32Flash::Stm32Flash() : m_Content(Size, Erased) {}

bool Stm32Flash::contains(quint32 address, int length) const
{
    return length >= 0 && address >= BaseAddress && address - BaseAddress <= quint32(Size) &&
           quint32(length) <= quint32(Size) - (address - BaseAddress);
}

bool Stm32Flash::program(quint32 address, const QByteArray &data)
{
    if (!contains(address, data.size()) || (address & 1) != 0)
        return false;
    const int offset = int(address - BaseAddress);
    // The flash programs whole half-words (an odd tail is padded with 0xFF), and only erased ones.
    const int touchedEnd = qMin(Size, (offset + data.size() + 1) & ~1);
    for (int i = offset; i < touchedEnd; ++i) {
        if (m_Content.at(i) != Erased)
            return false;
    }
    m_Content.replace(offset, data.size(), data);
    return true;
}

bool Stm32Flash::erasePage(int page)
{
    if (page < 0 || page >= PageCount)
        return false;
    m_Content.replace(page * PageSize, PageSize, QByteArray(PageSize, Erased));
    return true;
}

void Stm32Flash::eraseAll()
{
    m_Content.fill(Erased);
}

QByteArray Stm32Flash::read(quint32 address, int length) const
{
    if (!contains(address, length))
        return QByteArray();
    return m_Content.mid(int(address - BaseAddress), length);
}

bool Stm32Flash::isErased() const
{
    return m_Content.count(Erased) == Size;
}

void Stm32Flash::load(const QByteArray &image)
{
    eraseAll();
    m_Content.replace(0, qMin(image.size(), Size), image.left(Size));
}
