-- Tables of the experiment database (KESTU.MDB).
-- The program finds every table and column by these names; experimenters may
-- refill the three scenario tables with any SQL tool. On a PostgreSQL server
-- REAL becomes DOUBLE PRECISION, BLOB becomes BYTEA, and every table gets a
-- "rowid" column first, which SQLite keeps for itself.

-- Participants: one row per User ID, all answers kept as typed.
CREATE TABLE "UserData" (
  "UserID" TEXT,
  "FirstName" TEXT,
  "LastName" TEXT,
  "SchoolYear" TEXT,
  "Major" TEXT,
  "Age" TEXT,
  "Sex" TEXT,
  "TrialNum" TEXT DEFAULT '0'
);

-- Results: one row per recorded trial. The three times are shares of the
-- whole pump capacity spent pumping, cleaning and idle.
CREATE TABLE "Experiments" (
  "UserID" TEXT,
  "Experiment" INTEGER,
  "Date" TEXT,
  "StartTime" TEXT,
  "EndTime" TEXT,
  "Scenario" TEXT,
  "SimRate" REAL,
  "MissedBuckets" REAL,
  "BusyTime" REAL,
  "SweepTime" REAL,
  "IdleTime" REAL
);

-- Trial logs: the bytes of each Experiment trial's log file "USERID.N",
-- stored when the trial ends or its window closes, so that the database
-- holds a whole study. "WrittenAt" is the seat's local time, yyyy-mm-dd hh:mm:ss.
CREATE TABLE "TrialLogs" (
  "UserID" TEXT,
  "Experiment" INTEGER,
  "Host" TEXT,
  "Bytes" BLOB,
  "WrittenAt" TEXT
);

-- A trial's log is kept once: a second copy of the same trial's log is no row.
CREATE UNIQUE INDEX "TrialLogsByTrial" ON "TrialLogs" ("UserID", "Experiment");

-- The study's identity: one row holding a random ID, given when the study is
-- created and kept by a copy of it, so that results kept on a seat while the
-- database was out of reach can tell whether they belong to this study.
CREATE TABLE "StudyInfo" (
  "StudyID" TEXT
);

-- What each seat is doing, one row per seat, written by the seat while it
-- runs (at most once a second, and at every change of phase) and read by the
-- experimenter's lab page. "Seat" is the seat's computer name (or the name
-- its kestu.ini gives it); "Experiment" the trial number (0 in Training);
-- "Mode" Experiment, Training or Replay; "Phase" Idle, SetUp, Running,
-- Ended, CutShort, ReplayLoaded, ReplayPlaying, ReplayPaused or ReplayEnded;
-- "Clock" and "EndClock" the plant's clock and the trial's end in seconds;
-- "MissedBuckets" missed so far; "OutboxWaiting" results kept on the seat
-- while the database was out of reach; "ReportedAt" the time of the last
-- report in seconds since 1970-01-01 UTC by the database's clock (on an
-- SQLite file, the seat's). On a server "Login" is the seat's login role,
-- the only one that may write the row again.
CREATE TABLE "SeatStatus" (
  "Seat" TEXT,
  "Version" TEXT,
  "UserID" TEXT,
  "Experiment" INTEGER,
  "Mode" TEXT,
  "Phase" TEXT,
  "Clock" INTEGER,
  "EndClock" INTEGER,
  "MissedBuckets" INTEGER,
  "OutboxWaiting" INTEGER,
  "ReportedAt" REAL,
  "Login" TEXT
);

CREATE UNIQUE INDEX "SeatStatusBySeat" ON "SeatStatus" ("Seat");

-- Water arrivals. "Hr" and "Min" are the clock's minute and second; columns
-- "0".."22" are the buckets arriving into each tank. The first row is the
-- plant's content at the start; rows must be in ascending time order.
CREATE TABLE "exogenous" (
  "Hr" INTEGER, "Min" INTEGER,
  "0" REAL, "1" REAL, "2" REAL, "3" REAL, "4" REAL, "5" REAL, "6" REAL, "7" REAL,
  "8" REAL, "9" REAL, "10" REAL, "11" REAL, "12" REAL, "13" REAL, "14" REAL, "15" REAL,
  "16" REAL, "17" REAL, "18" REAL, "19" REAL, "20" REAL, "21" REAL, "22" REAL
);

-- Deadlines: by clock "Hr":"Min", "ExpectAmt" buckets must have been pumped
-- out of tank "TankNum".
CREATE TABLE "deadline" (
  "TankNum" INTEGER,
  "Hr" INTEGER,
  "Min" INTEGER,
  "ExpectAmt" INTEGER
);

-- Outlets: share "sorta" of each bucket pumped out of tank "head" goes to tank
-- "tail" (-1: out of the plant). What a tank's shares leave short of 1 also
-- leaves the plant. At most 10 rows per tank.
CREATE TABLE "sorttable" (
  "head" INTEGER,
  "tail" INTEGER,
  "sorta" REAL
);
