UPDATE "employee.db"
SET SALARY = NULL