-- Sample database for vornd: the demo and the end-to-end tests use it.
-- Create it with:  vornd --db sample.db --init-sql server/sample.sql --init-only
-- Running the script again rebuilds the tables from scratch.
--
-- Every VORN type appears: INTEGER, VARCHAR, LONG VARCHAR, LONG VARBINARY,
-- NUMERIC, DATE, TIME; with NULLs, texts beyond the 4096-byte inline limit,
-- binary values, non-ASCII text, and 3000 rows in ARTICLES.

BEGIN;

DROP TABLE IF EXISTS BOOKS;
DROP TABLE IF EXISTS AUTHORS;
DROP TABLE IF EXISTS ARTICLES;
DROP TABLE IF EXISTS COUNTERS;

CREATE TABLE AUTHORS (
    ID INTEGER PRIMARY KEY,
    NAME VARCHAR(60) NOT NULL,
    COUNTRY VARCHAR(40),
    BORN DATE
);

INSERT INTO AUTHORS VALUES
    (1, 'Selma Lagerlöf', 'Sweden', '1858-11-20'),
    (2, 'Jules Verne', 'France', '1828-02-08'),
    (3, 'Mary Shelley', 'United Kingdom', '1797-08-30'),
    (4, 'Anonymous', NULL, NULL);

CREATE TABLE BOOKS (
    ID INTEGER PRIMARY KEY,
    TITLE VARCHAR(100) NOT NULL,
    AUTHOR_ID INTEGER,
    PRICE NUMERIC,
    PUBLISHED DATE,
    SHELVED TIME,
    ABSTRACT LONG VARCHAR,
    COVER LONG VARBINARY
);

INSERT INTO BOOKS VALUES
    (1, 'Nils Holgerssons underbara resa', 1, 12.5, '1906-11-24', '09:30:00',
        'A boy shrunk to the size of a thumb travels across Sweden on the back of a goose.',
        x'89504E470D0A1A0A0000000D49484452'),
    (2, 'Vingt mille lieues sous les mers', 2, 9.99, '1870-06-20', '14:05:30',
        -- beyond the inline limit: sent by fetch key
        'Captain Nemo and the Nautilus. ' || printf('%.5000c', 'N') || ' The end.',
        -- binary beyond the limit: sent by fetch key
        zeroblob(6000)),
    (3, 'Frankenstein', 3, 7.25, '1818-01-01', NULL,
        NULL,
        x'00FF00FF7F80'),
    (4, 'Untitled', 4, NULL, NULL, NULL, '', x''),
    (5, 'Quotes & <markup> "test"', NULL, 0, '2000-02-29', '23:59:59',
        'Ümlauts, ß, €, 日本語 — and ''quotes''.', NULL);

CREATE TABLE ARTICLES (
    ID INTEGER PRIMARY KEY,
    HEADLINE VARCHAR(80) NOT NULL,
    SECTION VARCHAR(20),
    WORDS INTEGER,
    SCORE NUMERIC,
    PUBDATE DATE,
    PUBTIME TIME,
    BODY LONG VARCHAR,
    THUMB LONG VARBINARY
);

WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000)
INSERT INTO ARTICLES
SELECT i,
       'Headline number ' || i,
       CASE i % 4 WHEN 0 THEN 'news' WHEN 1 THEN 'sport' WHEN 2 THEN 'culture' ELSE NULL END,
       (i * 37) % 1000,
       round(i / 7.0, 3),
       date('2020-01-01', '+' || (i % 1000) || ' days'),
       time('00:00:00', '+' || ((i * 97) % 86400) || ' seconds'),
       CASE WHEN i % 500 = 0 THEN 'Long body of article ' || i || ': ' || printf('%.6000c', 'x')
            WHEN i % 10 = 0 THEN NULL
            ELSE 'Body of article ' || i END,
       CASE WHEN i % 100 = 0 THEN randomblob(16) ELSE NULL END
FROM n;

-- Used by the concurrency tests: many sessions increment the same rows.
CREATE TABLE COUNTERS (
    ID INTEGER PRIMARY KEY,
    N INTEGER NOT NULL
);
INSERT INTO COUNTERS VALUES (1, 0), (2, 0), (3, 0), (4, 0);

CREATE VIEW BOOK_LIST AS
    SELECT B.ID, B.TITLE, A.NAME AS AUTHOR FROM BOOKS B LEFT JOIN AUTHORS A ON A.ID = B.AUTHOR_ID;

COMMIT;
