#pragma once

namespace archiv::app {

// The busy pointer for as long as the object lives, restored on every way
// out (return or exception). aufheben() restores it early, once.
class Sanduhr
{
public:
    Sanduhr();
    ~Sanduhr();
    Sanduhr(const Sanduhr &) = delete;
    Sanduhr &operator=(const Sanduhr &) = delete;

    void aufheben();

private:
    bool m_aktiv = true;
};

} // namespace archiv::app
