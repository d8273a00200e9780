#pragma once

// The catalogue texts as res/lang/*.rc write them. Tests compare what the
// program shows with these, never with texts of their own: a test then
// fails when the wrong table or a wrong text is shown, and a reworded text
// needs no second edit.

#include "messages.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

// The text of `id` in res/lang/<tag>.rc; given a value, its %s or %d
// filled with it.
inline std::wstring CatalogueText(const std::wstring& tag, int id, const std::optional<std::wstring>& value = {})
{
    struct Row {
        const wchar_t* tag;
        int id;
        const wchar_t* text;
    };
    static const Row kRows[] = {
#include "catalogue_rows.inc"  // written by tests/CMakeLists.txt
    };
    for (const Row& row : kRows) {
        if (row.tag != tag || row.id != id)
            continue;
        std::wstring text = row.text;
        size_t placeholder = text.find(L"%s");
        if (placeholder == std::wstring::npos)
            placeholder = text.find(L"%d");
        if (value && placeholder != std::wstring::npos)
            text.replace(placeholder, 2, *value);
        return text;
    }
    ADD_FAILURE() << "no text " << id << " in res/lang/" << tag << ".rc";
    return std::wstring();
}

// The English text: what the tests' locale shows.
inline std::wstring EnglishText(int id, const std::optional<std::wstring>& value = {})
{
    return CatalogueText(L"en-US", id, value);
}
