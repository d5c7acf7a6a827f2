-- The eight target tables for SQL Server. Brimlow creates nothing itself: run this once
-- in the target database, e.g.
--   sqlcmd -S .\SQLEXPRESS -d Pomvale01 -i schema/sqlserver.sql
-- No primary keys or unique constraints: every run inserts all rows again.
--
-- The tool writes text as plain '...' literals (no N prefix). SQL Server reads such a
-- literal in the code page of the database's collation before storing it into nvarchar,
-- so Japanese and non-BMP text (such as U+20BB7) arrive unchanged only in a database with a
-- UTF-8 collation (SQL Server 2019 or later), created for example with
--   create database Pomvale01 collate Japanese_XJIS_140_CI_AS_UTF8;
-- With a Japanese_CI_AS database, text outside code page 932 turns into '?'.
--
-- nvarchar(max) for every text column: 255 characters would do for Access Text columns,
-- but a Memo column in the source (thousands of characters) may stand in for any of them.
-- Version is datetime2(0): unlike datetime it takes dates before 1753 (Access allows
-- years from 100). Flags and JogaiFlag are 32-bit int.

create table KEN_ALL (
    DantaiCode nvarchar(max),
    ZipCode5 nvarchar(max),
    ZipCode7 nvarchar(max),
    TodofukenKana nvarchar(max),
    City1Kana nvarchar(max),
    City2Kana nvarchar(max),
    TodofukenKanji nvarchar(max),
    City1Kanji nvarchar(max),
    City2Kanji nvarchar(max),
    Flag10 int,
    Flag11 int,
    Flag12 int,
    Flag13 int,
    Flag14 int,
    Flag15 int
);

create table KEN_ALL_Version (
    Version datetime2(0)
);

create table Mst01 (
    Col02 nvarchar(max),
    Col03 nvarchar(max),
    Col04 nvarchar(max),
    Col05 nvarchar(max),
    Col06 nvarchar(max),
    Col07 nvarchar(max),
    Col08 nvarchar(max),
    Col09 nvarchar(max),
    Col10 nvarchar(max),
    JogaiFlag int
);

create table Mst02 (
    Col02 nvarchar(max),
    Col03 nvarchar(max),
    Col04 nvarchar(max),
    Col05 nvarchar(max),
    JogaiFlag int
);

create table Mst02Error (
    Col02 nvarchar(max),
    Col03 nvarchar(max),
    Col04 nvarchar(max),
    Col05 nvarchar(max),
    JogaiFlag int
);

create table Mst03 (
    Col02 nvarchar(max),
    Col03 nvarchar(max),
    Col04 nvarchar(max),
    Col05 nvarchar(max),
    Col06 nvarchar(max),
    Col07 nvarchar(max),
    Col08 nvarchar(max),
    Col09 nvarchar(max),
    Col10 nvarchar(max),
    JogaiFlag int
);

create table Mst04 (
    Col02 nvarchar(max),
    Col03 nvarchar(max),
    Col04 nvarchar(max),
    Col05 nvarchar(max),
    JogaiFlag int
);

create table Mst04Error (
    Col02 nvarchar(max),
    Col03 nvarchar(max),
    Col04 nvarchar(max),
    Col05 nvarchar(max),
    JogaiFlag int
);
