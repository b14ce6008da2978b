-- The shipped summary by type of the entries report (BCO111) names under its title the companies and the
-- accounts it covers. The migrator writes the shipped designs over the shipped rows nobody has saved since
-- (CDOPERADOR null) after this script; designs an operator saved, under their title or another, stay as
-- they are.
SELECT 1;
