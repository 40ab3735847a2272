#pragma once

class AddressBook;
struct MainView;
class Platform;
class QString;

// The File menu's vCard items: contacts from a file into the book, and the
// whole book out to a file.
class Exchange
{
public:
    Exchange(MainView &view, Platform &platform, AddressBook &book) : view(view), platform(platform), book(book) {}

    void mnuImportCards_Click();
    void mnuExportCards_Click();

    // The file choosers' filter.
    static QString cardFilter();

private:
    MainView &view;
    Platform &platform;
    AddressBook &book;
};
