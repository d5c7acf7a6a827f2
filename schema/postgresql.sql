-- The eight target tables for PostgreSQL (reached through psqlODBC with --target).
-- Brimlow creates nothing itself: run this once in the target database, e.g.
--   psql -d pomvale01 -f schema/postgresql.sql
-- No primary keys or unique constraints: every run inserts all rows again.
-- Names are unquoted, so PostgreSQL folds them to lower case; the tool's statements name
-- them unquoted too and so reach the same tables.
-- text holds any length of Japanese and non-BMP text (the database must be UTF8, the
-- default of initdb -E UTF8). Version is a timestamp: it accepts the tool's
-- '2009/04/03 14:07:30' and years below 1000 ('999/12/31 23:59:59'). Flags and JogaiFlag
-- are 32-bit integers.

create table KEN_ALL (
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

create table KEN_ALL_Version (
    Version timestamp
);

create table Mst01 (
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

create table Mst02 (
    Col02 text,
    Col03 text,
    Col04 text,
    Col05 text,
    JogaiFlag integer
);

create table Mst02Error (
    Col02 text,
    Col03 text,
    Col04 text,
    Col05 text,
    JogaiFlag integer
);

create table Mst03 (
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

create table Mst04 (
    Col02 text,
    Col03 text,
    Col04 text,
    Col05 text,
    JogaiFlag integer
);

create table Mst04Error (
    Col02 text,
    Col03 text,
    Col04 text,
    Col05 text,
    JogaiFlag integer
);
