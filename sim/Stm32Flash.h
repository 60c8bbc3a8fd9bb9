// The simulated STM32F10x flash: 128 KiB at 0x08000000 in 1 KiB pages, erased to 0xFF.
#pragma once

#include <QByteArray>
#include <QtGlobal>

class Stm32Flash
{
public:
    static constexpr quint32 BaseAddress = 0x08000000;
    static constexpr int Size = 128 * 1024;
    static constexpr int PageSize = 1024;
    static constexpr int PageCount = Size / PageSize;

    Stm32Flash();

    bool contains(quint32 address, int length) const;
    // Half-words are programmed only where the flash is erased, as on the real part; programming over
    // written cells fails and leaves them unchanged. The address must be half-word aligned.
    bool program(quint32 address, const QByteArray &data);
    bool erasePage(int page);
    void eraseAll();
    QByteArray read(quint32 address, int length) const;
    bool isErased() const;

    // Whole image access for tools and tests: load replaces the content (the rest stays erased).
    void load(const QByteArray &image);
    const QByteArray &content() const { return m_Content; }

private:
    QByteArray m_Content;
};
