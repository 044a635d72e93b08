<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="ru_RU">
<context>
    <name>FontNames</name>
    <message>
        <source>Черный</source>
        <translation>Black</translation>
    </message>
    <message>
        <source>Бордовый</source>
        <translation>Maroon</translation>
    </message>
    <message>
        <source>Зеленый</source>
        <translation>Green</translation>
    </message>
    <message>
        <source>Оливковый</source>
        <translation>Olive</translation>
    </message>
    <message>
        <source>Темно-синий</source>
        <translation>Navy</translation>
    </message>
    <message>
        <source>Фиолетовый</source>
        <translation>Purple</translation>
    </message>
    <message>
        <source>Сине-зеленый</source>
        <translation>Teal</translation>
    </message>
    <message>
        <source>Серый</source>
        <translation>Gray</translation>
    </message>
    <message>
        <source>Серебристый</source>
        <translation>Silver</translation>
    </message>
    <message>
        <source>Красный</source>
        <translation>Red</translation>
    </message>
    <message>
        <source>Ярко-зеленый</source>
        <translation>Lime</translation>
    </message>
    <message>
        <source>Желтый</source>
        <translation>Yellow</translation>
    </message>
    <message>
        <source>Синий</source>
        <translation>Blue</translation>
    </message>
    <message>
        <source>Фуксия</source>
        <translation>Fuchsia</translation>
    </message>
    <message>
        <source>Голубой</source>
        <translation>Aqua</translation>
    </message>
    <message>
        <source>Белый</source>
        <translation>White</translation>
    </message>
    <message>
        <source>Западноевропейский</source>
        <translation>Western</translation>
    </message>
    <message>
        <source>По умолчанию</source>
        <translation>Default</translation>
    </message>
    <message>
        <source>Символьный</source>
        <translation>Symbol</translation>
    </message>
    <message>
        <source>Macintosh</source>
        <translation>Macintosh</translation>
    </message>
    <message>
        <source>Японский</source>
        <translation>Japanese</translation>
    </message>
    <message>
        <source>Корейский</source>
        <translation>Korean</translation>
    </message>
    <message>
        <source>Корейский (Johab)</source>
        <translation>Korean (Johab)</translation>
    </message>
    <message>
        <source>Китайский (GB2312)</source>
        <translation>Chinese (GB2312)</translation>
    </message>
    <message>
        <source>Китайский (Big5)</source>
        <translation>Chinese (Big5)</translation>
    </message>
    <message>
        <source>Греческий</source>
        <translation>Greek</translation>
    </message>
    <message>
        <source>Турецкий</source>
        <translation>Turkish</translation>
    </message>
    <message>
        <source>Вьетнамский</source>
        <translation>Vietnamese</translation>
    </message>
    <message>
        <source>Иврит</source>
        <translation>Hebrew</translation>
    </message>
    <message>
        <source>Арабский</source>
        <translation>Arabic</translation>
    </message>
    <message>
        <source>Балтийский</source>
        <translation>Baltic</translation>
    </message>
    <message>
        <source>Кириллица</source>
        <translation>Cyrillic</translation>
    </message>
    <message>
        <source>Тайский</source>
        <translation>Thai</translation>
    </message>
    <message>
        <source>Центральноевропейский</source>
        <translation>Central European</translation>
    </message>
    <message>
        <source>OEM/DOS</source>
        <translation>OEM/DOS</translation>
    </message>
</context>
<context>
    <name>tessaly::CopyOptionsMenu</name>
    <message>
        <source>Преобразовать в sRGB</source>
        <translation>Convert to sRGB</translation>
    </message>
    <message>
        <source>Сохранять координаты</source>
        <translation>Keep Location</translation>
    </message>
    <message>
        <source>Без метаданных</source>
        <translation>No Metadata</translation>
    </message>
    <message>
        <source>Качество JPEG</source>
        <translation>JPEG Quality</translation>
    </message>
</context>
<context>
    <name>tessaly::Photo</name>
    <message>
        <source>Фотография изменилась после открытия: %1</source>
        <translation>The photo changed after it was opened: %1</translation>
    </message>
</context>
<context>
    <name>tessaly::TFontDialog</name>
    <message>
        <source>Другой цвет…</source>
        <translation>Other colour…</translation>
    </message>
    <message>
        <source>Цвет</source>
        <translation>Colour</translation>
    </message>
    <message>
        <source>Шрифт</source>
        <translation>Font</translation>
    </message>
    <message>
        <source>Цвет:</source>
        <translation>Colour:</translation>
    </message>
    <message>
        <source>Набор символов:</source>
        <translation>Script:</translation>
    </message>
    <message>
        <source>Текущий</source>
        <translation>Current</translation>
    </message>
    <message>
        <source>Набор %1</source>
        <translation>Script %1</translation>
    </message>
    <message>
        <source>Обводка</source>
        <translation>Outline</translation>
    </message>
</context>
<context>
    <name>tessaly::TImageForm</name>
    <message>
        <source>Не могу создать файл &quot;%1&quot;. %2</source>
        <translation>Cannot create file &quot;%1&quot;. %2</translation>
    </message>
    <message>
        <source>All (%1)</source>
        <translation>All (%1)</translation>
    </message>
    <message>
        <source>&amp;Open Picture...</source>
        <translation>&amp;Open Picture...</translation>
    </message>
    <message>
        <source>Open Picture</source>
        <translation>Open Picture</translation>
    </message>
    <message>
        <source>Export</source>
        <translation>Export</translation>
    </message>
    <message>
        <source>Ex&amp;port All</source>
        <translation>Ex&amp;port All</translation>
    </message>
    <message>
        <source>Export All</source>
        <translation>Export All</translation>
    </message>
    <message>
        <source>Закрыть</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>E&amp;xit</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>Quits the application</source>
        <translation>Quits the application</translation>
    </message>
    <message>
        <source>Шрифт по умолчанию</source>
        <translation>Default Font</translation>
    </message>
    <message>
        <source>Применить</source>
        <translation>Apply</translation>
    </message>
    <message>
        <source>Шрифт</source>
        <translation>Font</translation>
    </message>
    <message>
        <source>10x15</source>
        <translation>10x15</translation>
    </message>
    <message>
        <source>&amp;10x15</source>
        <translation>&amp;10x15</translation>
    </message>
    <message>
        <source>Дата</source>
        <translation>Date</translation>
    </message>
    <message>
        <source>Комментарий</source>
        <translation>Comment</translation>
    </message>
    <message>
        <source>АаБбВв</source>
        <translation>AaBbCc</translation>
    </message>
    <message>
        <source>Файл</source>
        <translation>File</translation>
    </message>
    <message>
        <source>Параметры</source>
        <translation>Options</translation>
    </message>
    <message>
        <source>Для завершения нажмите правую кнопку мыши</source>
        <translation>Right-click to finish</translation>
    </message>
    <message>
        <source>Шрифт для всех</source>
        <translation>Font for All</translation>
    </message>
    <message>
        <source>Комментарий для всех</source>
        <translation>Comment for All</translation>
    </message>
    <message>
        <source>%1: копия записана без части метаданных (%2)</source>
        <translation>%1: the copy was written without some of its metadata (%2)</translation>
    </message>
    <message>
        <source>Обводка</source>
        <translation>Outline</translation>
    </message>
    <message>
        <source>EXIF съёмка</source>
        <translation>EXIF taken</translation>
    </message>
    <message>
        <source>EXIF оцифровка</source>
        <translation>EXIF digitized</translation>
    </message>
    <message>
        <source>EXIF изменение</source>
        <translation>EXIF modified</translation>
    </message>
    <message>
        <source>файл</source>
        <translation>file</translation>
    </message>
    <message>
        <source>Идёт экспорт. Прервать его?</source>
        <translation>Exporting. Stop it?</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Остановить экспорт (Esc)</source>
        <translation>Stop the export (Esc)</translation>
    </message>
    <message>
        <source>%1 из %2</source>
        <translation>%1 of %2</translation>
    </message>
    <message>
        <source>Остановка…</source>
        <translation>Stopping…</translation>
    </message>
    <message>
        <source>Фотография: %1</source>
        <translation>Photo: %1</translation>
    </message>
    <message>
        <source>%1 из %2: %3</source>
        <translation>%1 of %2: %3</translation>
    </message>
    <message>
        <source>Отменить</source>
        <translation>Undo</translation>
    </message>
    <message>
        <source>Повторить</source>
        <translation>Redo</translation>
    </message>
    <message>
        <source>Отменить: %1</source>
        <translation>Undo: %1</translation>
    </message>
    <message>
        <source>Повторить: %1</source>
        <translation>Redo: %1</translation>
    </message>
    <message>
        <source>Забыть правки</source>
        <translation>Forget Edits</translation>
    </message>
    <message>
        <source>Правка</source>
        <translation>Edit</translation>
    </message>
    <message>
        <source>Фотографий с правками, которые ещё не экспортированы: %1. Выйти?</source>
        <translation>Photos with edits not exported yet: %1. Quit anyway?</translation>
    </message>
    <message>
        <source>Восстановлено правок: %1</source>
        <translation>Edits restored: %1</translation>
    </message>
    <message>
        <source>Экспорт остановлен: %1</source>
        <translation>Export stopped: %1</translation>
    </message>
    <message>
        <source>Экспорт прерван.</source>
        <translation>Export cancelled.</translation>
    </message>
    <message>
        <source>Экспорт завершён.</source>
        <translation>Export finished.</translation>
    </message>
    <message>
        <source>Записано копий: %1 из %2.</source>
        <translation>Copies written: %1 of %2.</translation>
    </message>
    <message>
        <source>Пропущены фотографии (%1):</source>
        <translation>Photos left out (%1):</translation>
    </message>
    <message>
        <source>%1 — %2</source>
        <translation>%1 — %2</translation>
    </message>
    <message>
        <source>Открыть папку Export</source>
        <translation>Open the Export folder</translation>
    </message>
    <message>
        <source>данные снимка повреждены (%1)</source>
        <translation>the picture data is damaged (%1)</translation>
    </message>
    <message>
        <source>не удалось создать папку %1: %2</source>
        <translation>cannot create the folder %1: %2</translation>
    </message>
    <message>
        <source>не удалось открыть: %1</source>
        <translation>cannot open: %1</translation>
    </message>
    <message>
        <source>не удалось прочитать: %1</source>
        <translation>cannot read: %1</translation>
    </message>
    <message>
        <source>не удалось записать %1: %2</source>
        <translation>cannot write %1: %2</translation>
    </message>
    <message>
        <source>снимок слишком велик: %1 x %2 точек</source>
        <translation>the picture is too large: %1 x %2 pixels</translation>
    </message>
</context>
<context>
    <name>tessaly::TImgPanel</name>
    <message>
        <source>Загрузка…</source>
        <translation>Loading…</translation>
    </message>
</context>
<context>
    <name>tessaly::TValueListEditor</name>
    <message>
        <source>Ключ</source>
        <translation>Key</translation>
    </message>
    <message>
        <source>Значение</source>
        <translation>Value</translation>
    </message>
</context>
<context>
    <name>tessaly::TPictureEdits</name>
    <message>
        <source>дата</source>
        <translation>date</translation>
    </message>
    <message>
        <source>комментарий</source>
        <translation>comment</translation>
    </message>
    <message>
        <source>шрифт</source>
        <translation>font</translation>
    </message>
    <message>
        <source>кадр 10x15</source>
        <translation>10x15 crop</translation>
    </message>
    <message>
        <source>Закрыть</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Забыть правки</source>
        <translation>Forget Edits</translation>
    </message>
</context>
<context>
    <name>tessaly::EditStore</name>
    <message>
        <source>Правки не сохраняются: не могу создать папку для %1.</source>
        <translation>Edits are not kept: cannot create the folder for %1.</translation>
    </message>
    <message>
        <source>Правки не сохраняются: не могу открыть %1 (%2).</source>
        <translation>Edits are not kept: cannot open %1 (%2).</translation>
    </message>
    <message>
        <source>Правки не сохраняются: %1 занят другим окном Tessaly Orvanel.</source>
        <translation>Edits are not kept: %1 is in use by another Tessaly Orvanel window.</translation>
    </message>
    <message>
        <source>Правки не сохраняются: %1 (%2).</source>
        <translation>Edits are not kept: %1 (%2).</translation>
    </message>
    <message>
        <source>Правки не сохраняются: %1 повреждён, и его не удалось отложить.</source>
        <translation>Edits are not kept: %1 is damaged and could not be moved aside.</translation>
    </message>
    <message>
        <source>%1 был повреждён. Он сохранён как %2; правки пишутся в новый файл.</source>
        <translation>%1 was damaged. It is kept as %2; edits go into a new file.</translation>
    </message>
</context>
<context>
    <name>PrintFormats</name>
    <message>
        <source>Квадрат</source>
        <translation>Square</translation>
    </message>
</context>
<context>
    <name>StampPositions</name>
    <message>
        <source>Справа внизу</source>
        <translation>Bottom right</translation>
    </message>
    <message>
        <source>Слева внизу</source>
        <translation>Bottom left</translation>
    </message>
    <message>
        <source>Справа вверху</source>
        <translation>Top right</translation>
    </message>
    <message>
        <source>Слева вверху</source>
        <translation>Top left</translation>
    </message>
    <message>
        <source>Внизу по центру</source>
        <translation>Bottom centre</translation>
    </message>
</context>
<context>
    <name>tessaly::TPrintControls</name>
    <message>
        <source>Как в системе</source>
        <translation>As on the system</translation>
    </message>
    <message>
        <source>Как в системе, со временем</source>
        <translation>As on the system, with the time</translation>
    </message>
    <message>
        <source>Печать</source>
        <translation>Print</translation>
    </message>
    <message>
        <source>Формат</source>
        <translation>Format</translation>
    </message>
    <message>
        <source>С полями</source>
        <translation>With borders</translation>
    </message>
    <message>
        <source>Формат для всех</source>
        <translation>Format for all</translation>
    </message>
    <message>
        <source>Положение штампа</source>
        <translation>Stamp position</translation>
    </message>
    <message>
        <source>Безопасные поля</source>
        <translation>Safe margins</translation>
    </message>
    <message>
        <source>Форма даты</source>
        <translation>Date form</translation>
    </message>
    <message>
        <source>Плёнка</source>
        <translation>Film</translation>
    </message>
    <message>
        <source>Печать...</source>
        <translation>Print...</translation>
    </message>
    <message>
        <source>Предпросмотр печати...</source>
        <translation>Print preview...</translation>
    </message>
    <message>
        <source>Предпросмотр печати</source>
        <translation>Print preview</translation>
    </message>
    <message>
        <source>Печать в PDF...</source>
        <translation>Print to PDF...</translation>
    </message>
    <message>
        <source>Печать в PDF</source>
        <translation>Print to PDF</translation>
    </message>
    <message>
        <source>PDF (*.pdf)</source>
        <translation>PDF (*.pdf)</translation>
    </message>
    <message>
        <source>Шрифт «%1» не установлен (пакет fonts-dseg); используется обычный жирный шрифт.</source>
        <translation>The font “%1” is not installed (package fonts-dseg); a plain bold font is used.</translation>
    </message>
    <message>
        <source>Не удалось напечатать страницу</source>
        <translation>Could not print the page</translation>
    </message>
</context>
</TS>
