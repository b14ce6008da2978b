-- The shipped designs of the entries report (BCO111) name on each page the company of the accounts it lists,
-- show the agency and the account through the bank's pictures, and show the balance the books hold, whatever
-- the report leaves out. The migrator writes them over the shipped rows nobody has saved since
-- (CDOPERADOR null) after this script; designs an operator saved, under their title or another, stay as
-- they are.
SELECT 1;
