-- What the accounting of the bank entries checks of a ledger account before it posts to it.
--   * IDACEITALANC: 'S' when entries may be posted to the account (an analytic account); 'N' for an account
--     that only sums others (a synthetic account), which no entry may name.
--   * IDOBRIGCENTCUST: 'S' when every share of a line posted to the account must name a cost centre (result
--     accounts kept by cost centre); 'N' otherwise.
ALTER TABLE CONTCTBL ADD COLUMN IDACEITALANC VARCHAR(1) NOT NULL DEFAULT 'S' CHECK (IDACEITALANC IN ('S', 'N'));
ALTER TABLE CONTCTBL ADD COLUMN IDOBRIGCENTCUST VARCHAR(1) NOT NULL DEFAULT 'N' CHECK (IDOBRIGCENTCUST IN ('S', 'N'));

