-- The eight target tables for the embedded SQLite target (scripts/prepare-target runs this).
-- Brimlow creates nothing itself: the tables must exist before a run.
-- No primary keys or unique constraints: every run inserts all rows again.
-- Text columns are "text" so that SQLite keeps values exactly as sent (a column with
-- numeric affinity would turn the zip code '0600041' into the number 600041). SQLite has
-- no date-time type: Version keeps the text the tool sends, e.g. '2009/04/03 14:07:30'.
-- Flags and JogaiFlag are integers.

create table if not exists KEN_ALL (
    DantaiCode text,
    ZipCode5 text,
    ZipCode7 text,
    TodofukenKana text,
    City1Kana text,
    City2Kana text,
    TodofukenKanji text,
    City1Kanji text,
    City2Kanji text,
    Flag10 integer,
    Flag11 integer,
    Flag12 integer,
    Flag13 integer,
    Flag14 integer,
    Flag15 integer
);

create table if not exists KEN_ALL_Version (
    Version text
);

create table if not exists Mst01 (
    Col02 text,
    Col03 text,
    Col04 text,
    Col05 text,
    Col06 text,
    Col07 text,
    Col08 text,
    Col09 text,
    Col10 text,
    JogaiFlag integer
);

create table if not exists Mst02 (
    Col02 text,
    Col03 text,
    Col04 text,
    Col05 text,
    JogaiFlag integer
);

create table if not exists Mst02Error (
    Col02 text,
    Col03 text,
    Col04 text,
    Col05 text,
    JogaiFlag integer
);

create table if not exists Mst03 (
    Col02 text,
    Col03 text,
    Col04 text,
    Col05 text,
    Col06 text,
    Col07 text,
    Col08 text,
    Col09 text,
    Col10 text,
    JogaiFlag integer
);

create table if not exists Mst04 (
    Col02 text,
    Col03 text,
    Col04 text,
    Col05 text,
    JogaiFlag integer
);

create table if not exists Mst04Error (
    Col02 text,
    Col03 text,
    Col04 text,
    Col05 text,
    JogaiFlag integer
);
